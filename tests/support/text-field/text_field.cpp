// orvel-text-field FILE: one window with one text field; every change of its text is written
// to FILE, so a test in another process can see what arrived.
#include <QApplication>
#include <QFile>
#include <QLineEdit>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvelTextField"));
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    QLineEdit field;
    field.setWindowTitle(QStringLiteral("Orvel Test Field"));
    field.resize(480, 48);
    QObject::connect(&field, &QLineEdit::textChanged, [output](const QString &text) {
        if (output.isEmpty())
            return;
        QFile f(output);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
    });
    field.show();
    field.activateWindow();
    return app.exec();
}
