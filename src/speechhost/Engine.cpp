#include "Engine.h"

#include "WavReader.h"

#include <ggml-backend.h>
#include <parakeet.h>
#include <whisper.h>

#include <deque>
#include <mutex>

namespace {

// The last lines the libraries logged, for failure messages.
std::mutex g_logLock;
std::deque<std::string> g_logLines;
std::string g_logPartial;

void collectLog(ggml_log_level, const char *text, void *)
{
    if (!text)
        return;
    std::lock_guard lock(g_logLock);
    g_logPartial += text;
    size_t end;
    while ((end = g_logPartial.find('\n')) != std::string::npos) {
        const std::string line = g_logPartial.substr(0, end);
        g_logPartial.erase(0, end + 1);
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        g_logLines.push_back(line);
        if (g_logLines.size() > 16)
            g_logLines.pop_front();
    }
}

void clearLog()
{
    std::lock_guard lock(g_logLock);
    g_logLines.clear();
    g_logPartial.clear();
}

std::string trimmed(const std::string &text)
{
    const char *space = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

struct ParakeetText {
    std::string text;
    bool first = true;
};

void onParakeetToken(parakeet_context *ctx, parakeet_state *, const parakeet_token_data *token, void *user)
{
    auto *collected = static_cast<ParakeetText *>(user);
    char buffer[256];
    parakeet_token_to_text(parakeet_token_to_str(ctx, token->id), collected->first, buffer, sizeof buffer);
    collected->text += buffer;
    collected->first = false;
}

void onProgress(int percent, void *user)
{
    const auto *progress = static_cast<const Engine::Progress *>(user);
    if (*progress)
        (*progress)(percent);
}

} // namespace

Engine::Engine() = default;
Engine::~Engine() { unload(); }

void Engine::captureLogs()
{
    ggml_log_set(collectLog, nullptr);
    whisper_log_set(collectLog, nullptr);
    parakeet_log_set(collectLog, nullptr);
}

void Engine::unload()
{
    if (m_whisper)
        whisper_free(m_whisper);
    if (m_parakeet)
        parakeet_free(m_parakeet);
    m_whisper = nullptr;
    m_parakeet = nullptr;
}

std::string Engine::failure(const std::string &ownLine) const
{
    std::lock_guard lock(g_logLock);
    std::vector<std::string> lines(g_logLines.begin(), g_logLines.end());
    lines.push_back(ownLine);
    if (lines.size() == 1)
        return lines.back();
    return trimmed(lines[lines.size() - 2]) + " " + trimmed(lines.back());
}

std::string Engine::load(const std::string &engine, const std::string &modelPath, int threads)
{
    unload();
    clearLog();
    m_threads = threads > 0 ? threads : 2;
    if (engine == "parakeet") {
        m_parakeet = parakeet_init_from_file_with_params(modelPath.c_str(), parakeet_context_default_params());
        if (!m_parakeet)
            m_loadFailure = failure("error: failed to load Parakeet model from '" + modelPath + "'");
    } else {
        m_whisper = whisper_init_from_file_with_params(modelPath.c_str(), whisper_context_default_params());
        if (!m_whisper)
            m_loadFailure = failure("error: failed to initialize whisper context");
    }
    if (isLoaded())
        m_loadFailure.clear();
    return m_loadFailure;
}

std::string Engine::device() const
{
    for (size_t i = 0; i < ggml_backend_dev_count(); ++i) {
        ggml_backend_dev_t dev = ggml_backend_dev_get(i);
        const auto type = ggml_backend_dev_type(dev);
        if (type == GGML_BACKEND_DEVICE_TYPE_GPU || type == GGML_BACKEND_DEVICE_TYPE_IGPU)
            return std::string(ggml_backend_dev_name(dev)) + " (" + ggml_backend_dev_description(dev) + ")";
    }
    return "CPU";
}

Engine::Outcome Engine::transcribe(const std::string &audioPath, const std::string &language,
                                   const std::string &prompt, const Progress &progress)
{
    clearLog();
    if (!isLoaded())
        return {Outcome::Kind::failed, m_loadFailure.empty() ? "No speech model is loaded." : m_loadFailure};
    const WavAudio audio = readWav(audioPath);
    if (!audio.error.empty())
        return {Outcome::Kind::failed, audio.error};

    std::string text;
    if (m_whisper) {
        // What whisper-cli does with the runner's arguments: beam search of 5, no timestamps,
        // non-speech tokens suppressed, the vocabulary as the initial prompt.
        whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_BEAM_SEARCH);
        params.print_realtime = false;
        params.print_progress = false;
        params.print_timestamps = false;
        params.print_special = false;
        params.no_timestamps = true;
        params.suppress_nst = true;
        params.n_threads = m_threads;
        params.language = whisper_is_multilingual(m_whisper) ? language.c_str() : "en";
        params.initial_prompt = prompt.empty() ? nullptr : prompt.c_str();
        params.progress_callback = [](whisper_context *, whisper_state *, int percent, void *user) {
            onProgress(percent, user);
        };
        params.progress_callback_user_data = const_cast<Progress *>(&progress);
        if (whisper_full(m_whisper, params, audio.samples.data(), int(audio.samples.size())) != 0)
            return {Outcome::Kind::failed, failure("orvel-speech: failed to process audio")};
        for (int i = 0; i < whisper_full_n_segments(m_whisper); ++i)
            text += whisper_full_get_segment_text(m_whisper, i);
    } else {
        ParakeetText collected;
        parakeet_full_params params = parakeet_full_default_params(PARAKEET_SAMPLING_GREEDY);
        params.n_threads = m_threads;
        params.new_token_callback = onParakeetToken;
        params.new_token_callback_user_data = &collected;
        params.progress_callback = [](parakeet_context *, parakeet_state *, int percent, void *user) {
            onProgress(percent, user);
        };
        params.progress_callback_user_data = const_cast<Progress *>(&progress);
        if (parakeet_full(m_parakeet, params, audio.samples.data(), int(audio.samples.size())) != 0)
            return {Outcome::Kind::failed, failure("error: failed to process audio file '" + audioPath + "'")};
        text = collected.text;
    }
    text = trimmed(text);
    if (text.empty())
        return {Outcome::Kind::empty, {}};
    return {Outcome::Kind::text, text};
}
