#pragma once

#include <functional>
#include <string>
#include <vector>

struct whisper_context;
struct parakeet_context;

// One loaded Whisper or Parakeet model, kept between transcriptions. Failures carry the same
// words the command-line engines print last: the library's last complaint and our own line.
class Engine {
public:
    struct Outcome {
        enum class Kind { text, failed, empty } kind = Kind::failed;
        std::string text; // the transcript, or the failure's message
    };
    using Progress = std::function<void(int percent)>;

    Engine();
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Empty on success, else the message. Any model loaded before is freed first.
    std::string load(const std::string &engine, const std::string &modelPath, int threads);
    bool isLoaded() const { return m_whisper || m_parakeet; }
    // The device the model runs on: the first GPU ggml offers, else "CPU".
    std::string device() const;

    // language: "en" or "auto" (Whisper only); prompt: the vocabulary as one text (Whisper only).
    Outcome transcribe(const std::string &audioPath, const std::string &language, const std::string &prompt,
                       const Progress &progress);

    // Routes the libraries' diagnostics into the failure messages instead of standard error.
    static void captureLogs();

private:
    void unload();
    std::string failure(const std::string &ownLine) const;

    whisper_context *m_whisper = nullptr;
    parakeet_context *m_parakeet = nullptr;
    int m_threads = 2;
    std::string m_loadFailure; // why the last load failed, for the transcriptions that follow
};
