// A stand-in Command runtime. It reads request lines on standard input and answers a run or
// continue request whose instruction is NAME with the section ">>> NAME" of the script named
// by FAKE_RUNTIME_SCRIPT; lines before the first section run at start-up. Actions:
//   out TEXT        write TEXT and a line feed to standard output ({id} = the request's ID,
//                   {lf} = a line feed inside the same write)
//   part TEXT       write TEXT without a line feed and flush, then pause 30 ms (a separate read)
//   err TEXT        write TEXT and a line feed to standard error
//   errfill N C     write N bytes C to standard error, no line feed
//   outfill N C     write N bytes C to standard output, no line feed
//   sleep MS        pause
//   exit N          exit with status N at once
//   deaf            from now on ignore shutdown requests, end of input and SIGTERM
//   closein         close standard input and stay (a runtime whose request pipe broke)
//   await PATH      pause until the file PATH exists (the test paces the runtime)
//   onshutdown TEXT write TEXT and a line feed when a shutdown request arrives
// Every line received and the environment variables of interest are appended to the file
// named by FAKE_RUNTIME_LOG. A shutdown request or end of input ends the program.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::ofstream logFile;
bool deaf = false;
std::string shutdownReply;
std::string lastId;

void note(const std::string &line)
{
    if (logFile.is_open()) {
        logFile << line << '\n';
        logFile.flush();
    }
}

std::string replaced(std::string text, const std::string &id)
{
    for (size_t at = text.find("{id}"); at != std::string::npos; at = text.find("{id}", at + id.size()))
        text.replace(at, 4, id);
    for (size_t at = text.find("{lf}"); at != std::string::npos; at = text.find("{lf}", at + 1))
        text.replace(at, 4, "\n");
    return text;
}

void perform(const std::vector<std::string> &actions, const std::string &id)
{
    for (const std::string &line : actions) {
        const size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string arg = space == std::string::npos ? std::string() : replaced(line.substr(space + 1), id);
        if (verb == "out") {
            std::cout << arg << '\n' << std::flush;
        } else if (verb == "part") {
            std::cout << arg << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        } else if (verb == "err") {
            std::cerr << arg << '\n' << std::flush;
        } else if (verb == "errfill" || verb == "outfill") {
            const size_t n = size_t(std::atol(arg.c_str()));
            const char c = arg.size() > 2 ? arg.back() : 'x';
            (verb == "errfill" ? std::cerr : std::cout) << std::string(n, c) << std::flush;
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str())));
        } else if (verb == "onshutdown") {
            shutdownReply = line.substr(space + 1);
        } else if (verb == "exit") {
            note("exit " + arg);
            std::_Exit(std::atoi(arg.c_str()));
        } else if (verb == "closein") {
            ::close(0);
            note("closed input");
            std::this_thread::sleep_for(std::chrono::seconds(30));
        } else if (verb == "await") {
            while (::access(arg.c_str(), F_OK) != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (verb == "deaf") {
            deaf = true;
            std::signal(SIGTERM, SIG_IGN);
        }
    }
}

} // namespace

int main(int argc, char **)
{
    if (const char *log = std::getenv("FAKE_RUNTIME_LOG"))
        logFile.open(log, std::ios::app);
    note("start " + std::to_string(getpid()) + " argc " + std::to_string(argc));
    for (const char *name : {"OPENAI_AGENTS_DISABLE_TRACING", "OPENAI_API_KEY", "OPENAI_BASE_URL", "OPENAI_ORG_ID",
                             "OPENAI_ORGANIZATION", "OPENAI_PROJECT", "OPENAI_PROJECT_ID", "PATH"}) {
        const char *value = std::getenv(name);
        note(std::string("env ") + name + "=" + (value ? (std::string(name) == "PATH" ? "set" : value) : "<unset>"));
    }

    std::map<std::string, std::vector<std::string>> sections;
    if (const char *script = std::getenv("FAKE_RUNTIME_SCRIPT")) {
        std::ifstream in(script);
        std::string current;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(">>> ", 0) == 0)
                current = line.substr(4);
            else if (!line.empty())
                sections[current].push_back(line);
        }
    }
    perform(sections[""], "");

    const std::regex idPattern("\"requestID\":\"([0-9A-F-]{36})\"");
    const std::regex commandPattern("\"command\":\"([a-z]+)\"");
    const std::regex instructionPattern("\"instruction\":\"([^\"]*)\"");
    for (std::string line; std::getline(std::cin, line);) {
        note("recv " + line);
        std::smatch id, command, instruction;
        std::regex_search(line, id, idPattern);
        std::regex_search(line, command, commandPattern);
        std::regex_search(line, instruction, instructionPattern);
        const std::string verb = command.size() > 1 ? command[1].str() : "";
        if (verb == "shutdown") {
            note("shutdown");
            if (!shutdownReply.empty())
                std::cout << replaced(shutdownReply, lastId) << '\n' << std::flush;
            if (deaf)
                continue;
            return 0;
        }
        if (verb == "run" || verb == "continue") {
            lastId = id.size() > 1 ? id[1].str() : "";
            const auto section = sections.find(instruction.size() > 1 ? instruction[1].str() : "");
            if (section != sections.end() && !section->first.empty())
                perform(section->second, lastId);
        }
    }
    note("eof");
    while (deaf)
        pause();
    return 0;
}
