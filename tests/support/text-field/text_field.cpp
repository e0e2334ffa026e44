// orvel-text-field FILE [TEXT FROM TO]: one window with one text field, optionally holding TEXT
// with the characters FROM..TO selected; every change of its text is written to FILE, so a test
// in another process can see what arrived.
#include <QApplication>
#include <QFile>
#include <QLineEdit>

int main(int argc, char **argv)
{
    // An X client unless the session asks for another platform (the Wayland tests do).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
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
    if (argc > 4) {
        field.setText(QString::fromLocal8Bit(argv[2]));
        const int from = QString::fromLocal8Bit(argv[3]).toInt(), to = QString::fromLocal8Bit(argv[4]).toInt();
        field.setSelection(from, to - from);
    }
    field.show();
    field.activateWindow();
    return app.exec();
}
