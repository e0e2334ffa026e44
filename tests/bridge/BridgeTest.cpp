#include "Bridge.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

Outcome runProgram(const QString &program, const QByteArray &input)
{
    QProcess p;
    p.start(program, {});
    EXPECT_TRUE(p.waitForStarted()) << program.toStdString();
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(10000));
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

Outcome bridge(const QByteArray &input) { return runProgram(QStringLiteral(ORVEL_BRIDGE_PATH), input); }
Outcome bridgeWithModel(const QByteArray &input)
{
    return runProgram(qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/bridge-with-model"), input);
}

class CountingModel final : public OnDeviceLanguageModel {
public:
    Availability state = Availability::available;
    int calls = 0;
    Availability availability() const override { return state; }
    std::variant<QString, Failure> respond(const QString &, const QString &prompt) override
    {
        ++calls;
        return prompt;
    }
};

} // namespace

TEST(Bridge, AnswersUnavailableOnThisSystemWithExitOne)
{
    const Outcome o = bridge(R"({"instructions":"Be brief.","prompt":"Hello","extra":[1,2]})");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, QByteArray(R"({"error":"Apple Intelligence is unavailable.","ok":false})"));
    EXPECT_TRUE(o.err.isEmpty());
}

TEST(Bridge, MalformedRequestsGiveADecodingErrorAndExitOne)
{
    for (const QByteArray &input : {QByteArray(), QByteArray("   \n"), QByteArray("{\"prompt\":"), QByteArray("[]"),
                                    QByteArray(R"({"prompt":"x"})"), QByteArray(R"({"instructions":"x"})"),
                                    QByteArray(R"({"instructions":1,"prompt":"x"})"),
                                    QByteArray(R"({"instructions":"x","prompt":null})")}) {
        const Outcome o = bridge(input);
        EXPECT_EQ(o.exitCode, 1) << input.constData();
        const QJsonObject json = o.json();
        EXPECT_EQ(json.value(QStringLiteral("ok")), QJsonValue(false)) << input.constData();
        EXPECT_TRUE(json.value(QStringLiteral("error")).toString().startsWith(QStringLiteral("The request could not be read")))
            << o.out.constData();
        EXPECT_FALSE(json.contains(QStringLiteral("text")));
        EXPECT_TRUE(o.err.isEmpty());
    }
}

TEST(Bridge, SuccessfulAnswerIsOneObjectWithoutTrailingLineFeed)
{
    const Outcome ok = bridgeWithModel(R"({"instructions":"Sys \"q\"","prompt":"","more":true})");
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.out, QByteArray(R"({"ok":true,"text":"Sys \"q\"|"})"));
    const Outcome failed = bridgeWithModel(R"({"instructions":"","prompt":"fail"})");
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, QByteArray(R"({"error":"The model refused.","ok":false})"));
}

TEST(Bridge, UnavailableModelIsNeverAskedAndGivesAReason)
{
    CountingModel model;
    const QByteArray request = R"({"instructions":"","prompt":"p"})";
    for (const auto state : {OnDeviceLanguageModel::Availability::deviceNotEligible,
                             OnDeviceLanguageModel::Availability::modelNotReady, OnDeviceLanguageModel::Availability::unavailable}) {
        model.state = state;
        const BridgeResponse r = Bridge::answer(request, model);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.isEmpty());
    }
    EXPECT_EQ(model.calls, 0);
    model.state = OnDeviceLanguageModel::Availability::available;
    EXPECT_TRUE(Bridge::answer(request, model).ok);
    EXPECT_EQ(model.calls, 1);
}
