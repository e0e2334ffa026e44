// A stand-in speech engine for tests and benchmarks (built as orvel-fake-engine).
//
// ORVEL_FAKE_ENGINE_ARGV=FILE   write the arguments (without the program name) as a JSON array
// ORVEL_FAKE_ENGINE_SCRIPT=FILE play the script, one directive per line:
//     stdout TEXT | stderr TEXT   write TEXT exactly (escapes \n \r \t \\ \xHH; no implied newline)
//     sleep MS                    wait
//     flood stdout|stderr BYTES   write that many bytes of filler lines
//     pidfile PATH                write the process id
//     signal N                    raise signal N
//     exit N                      exit with status N (the end of the script exits 0)
// Without a script it behaves like a well-formed engine: it checks --model and --file, prints
// progress lines to stderr when --print-progress is given and prints ORVEL_FAKE_ENGINE_TEXT
// (default "Hello from the stand-in engine.") with a leading space to stdout.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

std::string jsonEscape(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'n') out += '\n';
        else if (c == 'r') out += '\r';
        else if (c == 't') out += '\t';
        else if (c == 'x' && i + 2 < s.size()) {
            out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else out += c;
    }
    return out;
}

void writeAll(int fd, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

int streamFd(const std::string &name) { return name == "stderr" ? 2 : 1; }

bool isWave(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    in.read(head, sizeof head);
    return in && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

int playScript(const char *path)
{
    std::ifstream in(path);
    if (!in) {
        writeAll(2, std::string("fake-engine: cannot read script ") + path + "\n");
        return 70;
    }
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (verb == "stdout" || verb == "stderr") {
            writeAll(streamFd(verb), unescape(rest));
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(rest.c_str())));
        } else if (verb == "flood") {
            const size_t split = rest.find(' ');
            const int fd = streamFd(rest.substr(0, split));
            long left = std::atol(rest.substr(split + 1).c_str());
            const std::string chunk = std::string(79, 'x') + "\n";
            while (left > 0) {
                writeAll(fd, chunk.substr(0, static_cast<size_t>(std::min<long>(left, 80))));
                left -= 80;
            }
        } else if (verb == "pidfile") {
            std::ofstream(rest) << ::getpid() << "\n";
        } else if (verb == "signal") {
            std::raise(std::atoi(rest.c_str()));
        } else if (verb == "exit") {
            return std::atoi(rest.c_str());
        }
    }
    return 0;
}

int behaveLikeAnEngine(const std::vector<std::string> &args)
{
    std::string model, file;
    bool progress = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--model" && i + 1 < args.size()) model = args[++i];
        else if (args[i] == "--file" && i + 1 < args.size()) file = args[++i];
        else if (args[i] == "--print-progress") progress = true;
    }
    if (model.empty() || ::access(model.c_str(), R_OK) != 0) {
        writeAll(2, "error: failed to initialize whisper context\n");
        return 3;
    }
    if (file.empty() || !isWave(file)) {
        writeAll(2, "error: failed to read audio file '" + file + "'\n");
        return 2;
    }
    if (progress)
        for (int p = 0; p <= 100; p += 25)
            writeAll(2, "whisper_print_progress_callback: progress = " + std::to_string(p) + "%\n");
    const char *text = std::getenv("ORVEL_FAKE_ENGINE_TEXT");
    writeAll(1, std::string(" ") + (text ? text : "Hello from the stand-in engine.") + "\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (const char *record = std::getenv("ORVEL_FAKE_ENGINE_ARGV")) {
        std::ofstream out(record, std::ios::trunc);
        out << "[";
        for (size_t i = 0; i < args.size(); ++i)
            out << (i ? "," : "") << jsonEscape(args[i]);
        out << "]\n";
    }
    if (const char *script = std::getenv("ORVEL_FAKE_ENGINE_SCRIPT"))
        return playScript(script);
    return behaveLikeAnEngine(args);
}
