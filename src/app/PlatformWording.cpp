#include "app/PlatformWording.h"

#include "speech/AppPaths.h"

#include <QDir>

namespace PlatformWording {

namespace {
// The data folder as the user would type it.
QString dataFolder()
{
    const QString root = AppPaths::root();
    const QString home = QDir::homePath();
    return root.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + root.mid(home.size()) : root;
}
} // namespace

QList<Replacement> table()
{
    return {
        {QStringLiteral("~/Library/Application Support/Orvel Raza"), dataFolder()},
        {QStringLiteral("deleting the app by itself leaves downloaded models in Application Support"),
         QStringLiteral("uninstalling the program by itself leaves downloaded models in that folder")},
        {QStringLiteral("outside the app bundle"), QStringLiteral("outside the program's own folders")},
        {QStringLiteral("Your key is stored in macOS Keychain."), QStringLiteral("Your key is stored in the system keyring.")},
        {QStringLiteral("Removed from macOS Keychain."), QStringLiteral("Removed from the system keyring.")},
        {QStringLiteral("OpenAI API key saved in Keychain"), QStringLiteral("OpenAI API key saved in the system keyring")},
        {QStringLiteral("Keychain-stored API key"), QStringLiteral("keyring-stored API key")},
        {QStringLiteral("the macOS Keychain"), QStringLiteral("the system keyring")},
        {QStringLiteral("macOS Keychain"), QStringLiteral("system keyring")},
        {QStringLiteral("The private system model built into macOS. No extra download."),
         QStringLiteral("The operating system's own model. Linux has none, so Command reports it as unavailable.")},
        {QStringLiteral("Managed by macOS"), QStringLiteral("Managed by the system")},
        {QStringLiteral("Requires Apple silicon"), QStringLiteral("Not available on Linux")},
        {QStringLiteral("Recommended: Apple silicon · "), QStringLiteral("Recommended: ")},
        {QStringLiteral("could not be updated in Keychain"), QStringLiteral("could not be updated in the system keyring")},
        {QStringLiteral("Downloaded local models require Apple silicon; use Apple On-Device or an OpenAI model on this Mac."),
         QStringLiteral("Downloaded local models cannot run here; use an OpenAI model on this computer.")},
        {QStringLiteral("System Settings"), QStringLiteral("the system settings")},
        {QStringLiteral("the menu bar"), QStringLiteral("the system tray")},
        {QStringLiteral("BEST FOR THIS MAC"), QStringLiteral("BEST FOR THIS COMPUTER")},
        {QStringLiteral("on a 16 GB Mac"), QStringLiteral("on a 16 GB computer")},
        // Modifier keys by the names printed on this desktop's keyboards.
        {QStringLiteral("Add ⌘, ⌥, ⌃, or ⇧"), QStringLiteral("Add Ctrl, Alt, Shift, or Super")},
        {QStringLiteral("this Mac"), QStringLiteral("this computer")},
        // Nothing is bundled: the engines come from the distribution or from "Get the speech engines".
        {QStringLiteral("The bundled local speech engine is missing."),
         QStringLiteral("The speech engine %1 was not found. Choose \u201cGet the speech engines\u201d under Models, "
                        "or install the whisper.cpp-tools package.")},
        {QStringLiteral("your Mac"), QStringLiteral("your computer")},
        {QStringLiteral("The bundled llama-server is missing, so this model cannot be validated."),
         QStringLiteral("llama-server was not found, so this model cannot be validated. Choose \u201cGet the speech "
                        "engines\u201d under Models (llama-server comes with them), or install the llama.cpp-tools package.")},
        // Nothing is granted on this desktop: the buttons look again for what is there (an audio
        // input; X11 input and accessibility).
        {QStringLiteral("Allow microphone"), QStringLiteral("Look for a microphone")},
        {QStringLiteral("Allow auto-paste"), QStringLiteral("Check auto-paste")},
    };
}

namespace {
QString adaptAbout(const QString &text, const QString &subject)
{
    QString out = text;
    for (const Replacement &r : table()) {
        if (!out.contains(r.macOS))
            continue;
        out.replace(r.macOS, r.here.contains(QLatin1String("%1"))
                                 ? r.here.arg(subject.isEmpty() ? QStringLiteral("for this model") : subject)
                                 : r.here);
    }
    return out;
}
} // namespace

QString adapt(const QString &text) { return adaptAbout(text, {}); }

QString describe(const OrvelError &error)
{
    const bool named = error.kind == OrvelError::Kind::missingEngine && !error.message.isEmpty();
    return adaptAbout(error.description(), named ? QStringLiteral("“%1”").arg(error.message) : QString());
}

} // namespace PlatformWording
