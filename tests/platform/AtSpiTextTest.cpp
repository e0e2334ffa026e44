// Writing into another application's text field over AT-SPI, with a real GTK editor on the
// session's accessibility bus: no keys are involved, so this is how text arrives where
// synthesised keys do not reach.
#include "ProgramRun.h"
#include "platform/x11/AtSpiAccessibility.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class AtSpiTextTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ProgramRun::stop(editor);
        ProgramRun::stop(second);
    }

    // An editor with its text and the caret at the end, once it has the focus.
    std::shared_ptr<AccessibleElement> open(QProcess &process, const QString &file, const QString &text)
    {
        process.start(QStringLiteral(ORVEL_GTK_TARGET), {dir.filePath(file), text});
        if (!process.waitForStarted(5000))
            return nullptr;
        std::shared_ptr<AccessibleElement> field;
        (void)QTest::qWaitFor(
            [&] {
                field = atSpiDesktopFocusedElement(int64_t(::getpid()));
                return field && field->value() == text;
            },
            20000);
        return field;
    }

    QString written() const
    {
        QFile f(dir.filePath(QStringLiteral("text")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    bool becomes(const QString &expected)
    {
        return QTest::qWaitFor([&] { return written() == expected; }, 5000);
    }

    QTemporaryDir dir;
    QProcess editor;
    QProcess second;
};

} // namespace

TEST_F(AtSpiTextTest, InsertsAtTheCaretOverTheSelectionAndOverAVerifiedRange)
{
    // A character outside the BMP: GTK counts it as one, the port as two UTF-16 units.
    const QString start = QStringLiteral("Hi \U0001F44B world");
    auto field = open(editor, QStringLiteral("text"), start);
    ASSERT_TRUE(field) << "the editor never had the focus on the accessibility bus";

    ASSERT_TRUE(field->insertText(QStringLiteral(", again")));
    ASSERT_TRUE(becomes(start + QStringLiteral(", again"))) << written().toStdString();

    // Over a selection, which goes.
    ASSERT_TRUE(field->setSelectedTextRange(TextRange{6, 5}));
    EXPECT_EQ(field->selectedText(), QStringLiteral("world"));
    ASSERT_TRUE(field->insertText(QStringLiteral("there")));
    ASSERT_TRUE(becomes(QStringLiteral("Hi \U0001F44B there, again"))) << written().toStdString();

    // Over a range given in UTF-16 units, past the wide character.
    ASSERT_TRUE(field->replaceText(TextRange{6, 5}, QStringLiteral("friend")));
    ASSERT_TRUE(becomes(QStringLiteral("Hi \U0001F44B friend, again"))) << written().toStdString();
    EXPECT_FALSE(field->replaceText(TextRange{6, 500}, QStringLiteral("x"))) << "a range past the end";
    EXPECT_EQ(field->value(), QStringLiteral("Hi \U0001F44B friend, again"));

    // The focus moves to another editor: what was learnt about the first must not stick.
    auto other = open(second, QStringLiteral("second"), QStringLiteral("second editor"));
    ASSERT_TRUE(other) << "the focus never moved to the second editor";
    EXPECT_EQ(field->value(), QStringLiteral("Hi \U0001F44B friend, again"));
}

TEST_F(AtSpiTextTest, NoFocusedFieldElsewhereMeansNothingToWriteInto)
{
    EXPECT_EQ(atSpiDesktopFocusedElement(int64_t(::getpid())), nullptr);
}
