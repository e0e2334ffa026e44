#pragma once

// Recording fakes of the platform ports, for tests that cannot or need not touch the desktop.

#include "platform/Accessibility.h"
#include "platform/HotKeyBackend.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "platform/Permissions.h"
#include "platform/ScreenCapture.h"
#include "platform/SecretStore.h"
#include "platform/SoundPlayer.h"
#include "platform/Workspace.h"

#include <QMap>
#include <QStringList>

#include <map>
#include <utility>
#include <vector>

class FakePasteboard final : public Pasteboard {
public:
    void clear() override { items.items.clear(); ++clears; }
    void setString(const QString &text) override { items.items = {{{QStringLiteral("text/plain"), text.toUtf8()}}}; }
    std::optional<QString> string() const override
    {
        for (const auto &item : items.items)
            if (item.contains(QStringLiteral("text/plain")))
                return QString::fromUtf8(item.value(QStringLiteral("text/plain")));
        return std::nullopt;
    }
    PasteboardContents contents() const override { return items; }
    void write(const PasteboardContents &contents) override { items = contents; }

    PasteboardContents items;
    int clears = 0;
};

class FakeKeySynthesizer final : public KeySynthesizer {
public:
    void postKey(uint16_t keyCode, uint64_t flags) override { posted.emplace_back(keyCode, flags); }
    bool keyHeld() const override { return held; }
    std::vector<std::pair<uint16_t, uint64_t>> posted;
    bool held = false;
};

class FakeWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() const override { return front; }
    void activate(const RunningApplication &application) override
    {
        activated.push_back(application);
        if (activationWorks)
            front = application;
    }
    bool isCurrentApplication(const RunningApplication &application) const override
    {
        return application.processIdentifier == ownPid;
    }
    bool isTerminal(const RunningApplication &application) const override
    {
        return terminals.contains(application.processIdentifier);
    }
    std::optional<RunningApplication> front;
    QList<int64_t> terminals;
    std::vector<RunningApplication> activated;
    int64_t ownPid = 1000;
    bool activationWorks = true;
};

class FakeAccessibleElement final : public AccessibleElement {
public:
    std::optional<QString> selectedText() const override { return selection; }
    std::optional<TextRange> selectedTextRange() const override { return range; }
    bool setSelectedTextRange(const TextRange &r) override
    {
        range = r;
        return true;
    }
    std::optional<QString> value() const override { return text; }
    bool insertText(const QString &t) override { return range && replaceText(*range, t); }
    bool replaceText(const TextRange &r, const QString &t) override
    {
        if (!editable || !text || r.location < 0 || r.location + r.length > text->size())
            return false;
        text->replace(qsizetype(r.location), qsizetype(r.length), t);
        range = TextRange{r.location + t.size(), 0};
        selection.reset();
        return true;
    }

    std::optional<QString> selection;
    std::optional<TextRange> range;
    std::optional<QString> text;
    bool editable = false;
};

class FakeAccessibility final : public Accessibility {
public:
    bool isProcessTrusted(bool prompt) override
    {
        if (prompt)
            ++prompts;
        return trusted;
    }
    std::shared_ptr<AccessibleElement> focusedElement() override { return focused; }
    std::shared_ptr<AccessibleElement> desktopFocusedElement() override { return focused; }
    bool trusted = true;
    int prompts = 0;
    std::shared_ptr<FakeAccessibleElement> focused;
};

class FakePermissions final : public Permissions {
public:
    bool microphoneGranted() const override { return microphone; }
    bool requestMicrophone() override { return microphone = grantOnRequest; }
    bool screenCaptureGranted() const override { return screenCapture; }
    bool requestScreenCapture() override { return screenCapture = grantOnRequest; }
    void openSettings(const QString &location) override { opened << location; }
    bool microphone = true;
    bool screenCapture = true;
    bool grantOnRequest = false;
    QStringList opened;
};

class FakeHotKeyBackend final : public HotKeyBackend {
public:
    void setHandler(Handler h) override { handler = std::move(h); }
    bool registerHotKey(uint32_t identifier, uint16_t keyCode, Modifiers modifiers) override
    {
        if (refused.contains(keyCode))
            return false;
        for (const auto &[code, mods] : refusedCombinations)
            if (code == keyCode && mods == modifiers)
                return false;
        registered[identifier] = {keyCode, modifiers};
        return true;
    }
    void unregisterHotKey(uint32_t identifier) override { registered.erase(identifier); }
    void press(uint32_t identifier, bool down) { if (handler) handler(identifier, down); }
    std::optional<QString> desktopTrigger(uint32_t identifier) const override
    {
        const auto it = desktopTriggers.find(identifier);
        return it == desktopTriggers.end() ? std::nullopt : std::optional<QString>(it->second);
    }
    // The desktop's answer, where it binds the keys itself.
    void answer(std::map<uint32_t, QString> triggers)
    {
        desktopTriggers = std::move(triggers);
        if (onDesktopBindingChanged)
            onDesktopBindingChanged();
    }

    Handler handler;
    std::map<uint32_t, std::pair<uint16_t, Modifiers>> registered;
    QList<uint16_t> refused;
    // Held by another program, as a window manager holds Alt+Space.
    QList<std::pair<uint16_t, Modifiers>> refusedCombinations;
    std::map<uint32_t, QString> desktopTriggers;
};

class FakeScreenCapture final : public ScreenCapture {
public:
    QList<CapturableWindow> shareableWindows() override { return windows; }
    std::optional<QImage> capture(const CapturableWindow &, QSize size) override
    {
        lastSize = size;
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        return image;
    }
    QList<CapturableWindow> windows;
    QSize lastSize;
};

class FakeSecretStore final : public SecretStore {
public:
    QCoro::Task<Reply> read(QString service, QString account) override
    {
        if (failure)
            co_return *failure;
        const auto it = items.find({service, account});
        if (it == items.end())
            co_return Reply{statusItemNotFound, {}, QStringLiteral("The item could not be found.")};
        co_return Reply{statusSuccess, it->second, {}};
    }
    QCoro::Task<Reply> write(QString service, QString account, QByteArray data) override
    {
        if (failure)
            co_return *failure;
        items[{service, account}] = data;
        co_return Reply{};
    }
    QCoro::Task<Reply> remove(QString service, QString account) override
    {
        if (failure)
            co_return *failure;
        if (items.erase({service, account}) == 0)
            co_return Reply{statusItemNotFound, {}, QStringLiteral("The item could not be found.")};
        co_return Reply{};
    }
    std::map<std::pair<QString, QString>, QByteArray> items;
    std::optional<Reply> failure;
};

class FakeSoundPlayer final : public SoundPlayer {
public:
    bool play(const QString &name, double volume) override
    {
        played.emplace_back(name, volume);
        return available.contains(name);
    }
    void stop() override { ++stops; }
    void beep() override { ++beeps; }
    std::vector<std::pair<QString, double>> played;
    QStringList available{QStringLiteral("Pop"), QStringLiteral("Glass"), QStringLiteral("Tink")};
    int stops = 0;
    int beeps = 0;
};
