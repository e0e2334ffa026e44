#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

// One request of the bridge: read from standard input to its end.
struct BridgeRequest {
    QString instructions;
    QString prompt;
};

struct BridgeResponse {
    bool ok = false;
    QString text;  // when ok
    QString error; // when not ok

    // One compact object, absent keys left out, no trailing line feed.
    QByteArray encoded() const;
};

// The operating system's on-device language model, as far as the bridge uses it.
class OnDeviceLanguageModel {
public:
    enum class Availability { available, deviceNotEligible, modelNotReady, unavailable };
    struct Failure {
        QString message;
    };

    virtual ~OnDeviceLanguageModel() = default;
    virtual Availability availability() const = 0;
    // One session with the instructions, one answer to the prompt, default generation options.
    virtual std::variant<QString, Failure> respond(const QString &instructions, const QString &prompt) = 0;
};

namespace Bridge {
// Extra keys are ignored; a missing key or a value of another type is a decoding error.
std::variant<BridgeRequest, QString> decodeRequest(const QByteArray &input);
QString unavailableMessage(OnDeviceLanguageModel::Availability availability);
BridgeResponse answer(const QByteArray &input, OnDeviceLanguageModel &model);
// Reads standard input to its end, writes the one response, returns the exit status.
int run(OnDeviceLanguageModel &model);
} // namespace Bridge
