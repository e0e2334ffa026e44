// AT-SPI first: its GLib headers use names that Qt defines as macros.
#include <atspi/atspi.h>

#include "AtSpiAccessibility.h"

#include <QDateTime>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QUuid>

#include <vector>

namespace {

constexpr int kMaximumNodes = 4000;
constexpr int kMaximumDepth = 40;

struct GFree {
    void operator()(gpointer p) const { g_free(p); }
};
using GText = std::unique_ptr<gchar, GFree>;

template <typename T>
struct Unref {
    void operator()(T *p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref<T>>;

// libatspi ends the whole program (g_error) when it cannot join the accessibility bus, which
// happens when the bus launcher is missing or too slow to answer. So the bus is joined here
// first, where a failure only means no accessibility this time.
bool accessibilityBusAnswers()
{
    QString address = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
            QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return false;
        address = reply.arguments().constFirst().toString();
    }
    if (address.isEmpty())
        return false;
    const QString name = QStringLiteral("orvel-a11y-check-") + QUuid::createUuid().toString(QUuid::Id128);
    const bool connected = QDBusConnection::connectToBus(address, name).isConnected();
    QDBusConnection::disconnectFromBus(name);
    if (connected)
        qputenv("AT_SPI_BUS_ADDRESS", address.toUtf8());
    return connected;
}

bool ensureInitialised()
{
    static bool ready = false;
    if (ready)
        return true;
    // Asked again at most every half minute, so a bus that comes up later is found.
    static qint64 lastAttempt = -1;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (lastAttempt >= 0 && now - lastAttempt < 30000)
        return false;
    lastAttempt = now;
    ready = [] {
        if (!accessibilityBusAnswers() || atspi_init() < 0)
            return false;
        // A hung application must not stall the caller for long.
        atspi_set_timeout(600, 3000);
        // libatspi caches states, children and names and keeps that cache true from these
        // events, which applications send only once someone listens for them. Turning the
        // cache off instead is not an option: an event that arrives during a call then makes
        // libatspi call out again from inside its own dispatch, which never returns.
        static AtspiEventListener *listener = atspi_event_listener_new_simple([](const AtspiEvent *) {}, nullptr);
        for (const char *type : {"object:state-changed", "object:children-changed", "object:property-change"})
            atspi_event_listener_register(listener, type, nullptr);
        return true;
    }();
    return ready;
}

bool hasState(AtspiAccessible *object, AtspiStateType state)
{
    Ref<AtspiStateSet> set{atspi_accessible_get_state_set(object)};
    return set && atspi_state_set_contains(set.get(), state);
}

Ref<AtspiAccessible> child(AtspiAccessible *object, int index)
{
    GError *error = nullptr;
    Ref<AtspiAccessible> result{atspi_accessible_get_child_at_index(object, index, &error)};
    g_clear_error(&error);
    return result;
}

int childCount(AtspiAccessible *object)
{
    GError *error = nullptr;
    const int n = atspi_accessible_get_child_count(object, &error);
    g_clear_error(&error);
    return error ? 0 : n;
}

// Depth first through what is showing; the first text object the test accepts wins.
template <typename Accept>
Ref<AtspiAccessible> findText(AtspiAccessible *object, int depth, int &budget, const Accept &accept)
{
    if (--budget < 0 || depth > kMaximumDepth)
        return nullptr;
    if (Ref<AtspiText> text{atspi_accessible_get_text_iface(object)}; text && accept(object, text.get()))
        return Ref<AtspiAccessible>{ATSPI_ACCESSIBLE(g_object_ref(object))};
    const int n = childCount(object);
    for (int i = 0; i < n && budget >= 0; ++i) {
        Ref<AtspiAccessible> c = child(object, i);
        if (!c || (depth > 0 && !hasState(c.get(), ATSPI_STATE_SHOWING)))
            continue;
        if (auto found = findText(c.get(), depth + 1, budget, accept))
            return found;
    }
    return nullptr;
}

bool isFocused(AtspiAccessible *object, AtspiText *) { return hasState(object, ATSPI_STATE_FOCUSED); }

// While a shortcut's key is held, the X server gives our grab the keyboard and GTK reports its
// window inactive and nothing focused. The text object that holds a selection then stands in.
bool holdsSelection(AtspiAccessible *, AtspiText *text)
{
    GError *error = nullptr;
    const int n = atspi_text_get_n_selections(text, &error);
    g_clear_error(&error);
    return n > 0;
}

// AT-SPI counts characters (code points) where GTK is concerned; Qt's bridge counts UTF-16
// units. The port speaks UTF-16 units throughout.
class AtSpiElement final : public AccessibleElement {
public:
    AtSpiElement(Ref<AtspiAccessible> object, bool utf16Offsets)
        : m_object(std::move(object)), m_utf16Offsets(utf16Offsets)
    {
    }

    std::optional<QString> selectedText() const override
    {
        Ref<AtspiText> text = textInterface();
        const auto range = selection(text.get());
        if (!range || range->second <= range->first)
            return std::nullopt;
        return textBetween(text.get(), range->first, range->second);
    }

    std::optional<TextRange> selectedTextRange() const override
    {
        Ref<AtspiText> text = textInterface();
        if (!text)
            return std::nullopt;
        int start = 0, end = 0;
        if (const auto range = selection(text.get())) {
            start = range->first;
            end = range->second;
        } else {
            GError *error = nullptr;
            start = end = atspi_text_get_caret_offset(text.get(), &error);
            if (error) {
                g_error_free(error);
                return std::nullopt;
            }
        }
        if (start < 0)
            return std::nullopt;
        const auto full = value();
        if (!full)
            return std::nullopt;
        const qsizetype from = toUtf16(*full, start), to = toUtf16(*full, end);
        return TextRange{int64_t(from), int64_t(to - from)};
    }

    bool setSelectedTextRange(const TextRange &range) override
    {
        Ref<AtspiText> text = textInterface();
        const auto full = value();
        if (!text || !full || range.location < 0 || range.location + range.length > full->size())
            return false;
        const int start = fromUtf16(*full, qsizetype(range.location));
        const int end = fromUtf16(*full, qsizetype(range.location + range.length));
        GError *error = nullptr;
        const int n = atspi_text_get_n_selections(text.get(), &error);
        g_clear_error(&error);
        const gboolean done = n > 0 ? atspi_text_set_selection(text.get(), 0, start, end, &error)
                                    : atspi_text_add_selection(text.get(), start, end, &error);
        const bool ok = done && !error;
        g_clear_error(&error);
        if (!ok)
            return false;
        // Some toolkits accept the call and do nothing; only a selection that reads back counts.
        return selectedTextRange() == range || (range.length == 0);
    }

    std::optional<QString> value() const override
    {
        Ref<AtspiText> text = textInterface();
        if (!text)
            return std::nullopt;
        return textBetween(text.get(), 0, -1);
    }

    bool insertText(const QString &text) override
    {
        const auto range = selectedTextRange();
        return range && replaceText(*range, text);
    }

    bool replaceText(const TextRange &range, const QString &text) override
    {
        Ref<AtspiEditableText> editable{atspi_accessible_get_editable_text_iface(m_object.get())};
        const auto full = value();
        if (!editable || !full || range.location < 0 || range.length < 0 ||
            range.location + range.length > full->size())
            return false;
        const int start = fromUtf16(*full, qsizetype(range.location));
        const int end = fromUtf16(*full, qsizetype(range.location + range.length));
        GError *error = nullptr;
        bool ok = start == end || (atspi_editable_text_delete_text(editable.get(), start, end, &error) && !error);
        g_clear_error(&error);
        const QByteArray utf8 = text.toUtf8();
        ok = ok && (atspi_editable_text_insert_text(editable.get(), start, utf8.constData(), int(utf8.size()), &error) &&
                    !error);
        g_clear_error(&error);
        if (!ok)
            return false;
        // Read-only widgets may accept the calls and change nothing.
        QString expected = *full;
        expected.replace(qsizetype(range.location), qsizetype(range.length), text);
        return value() == expected;
    }

private:
    Ref<AtspiText> textInterface() const { return Ref<AtspiText>{atspi_accessible_get_text_iface(m_object.get())}; }

    static std::optional<std::pair<int, int>> selection(AtspiText *text)
    {
        if (!text)
            return std::nullopt;
        GError *error = nullptr;
        const int n = atspi_text_get_n_selections(text, &error);
        if (error || n <= 0) {
            g_clear_error(&error);
            return std::nullopt;
        }
        AtspiRange *range = atspi_text_get_selection(text, 0, &error);
        if (error || !range) {
            g_clear_error(&error);
            g_free(range);
            return std::nullopt;
        }
        std::pair<int, int> result{std::min(range->start_offset, range->end_offset),
                                   std::max(range->start_offset, range->end_offset)};
        g_free(range);
        return result;
    }

    static std::optional<QString> textBetween(AtspiText *text, int start, int end)
    {
        GError *error = nullptr;
        GText chars{atspi_text_get_text(text, start, end, &error)};
        if (error) {
            g_error_free(error);
            return std::nullopt;
        }
        return QString::fromUtf8(chars ? chars.get() : "");
    }

    qsizetype toUtf16(const QString &text, int offset) const
    {
        if (m_utf16Offsets)
            return std::min<qsizetype>(offset, text.size());
        qsizetype i = 0;
        for (int n = 0; n < offset && i < text.size(); ++n)
            i += (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        return i;
    }

    int fromUtf16(const QString &text, qsizetype index) const
    {
        if (m_utf16Offsets)
            return int(index);
        int n = 0;
        for (qsizetype i = 0; i < index && i < text.size(); ++n)
            i += (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        return n;
    }

    Ref<AtspiAccessible> m_object;
    bool m_utf16Offsets;
};

// The first application on the bus that the test accepts, by its process id.
template <typename Accept>
Ref<AtspiAccessible> findApplication(Accept accept)
{
    Ref<AtspiAccessible> desktop{atspi_get_desktop(0)};
    if (!desktop)
        return nullptr;
    const int n = childCount(desktop.get());
    for (int i = 0; i < n; ++i) {
        Ref<AtspiAccessible> app = child(desktop.get(), i);
        if (!app)
            continue;
        GError *error = nullptr;
        const guint pid = atspi_accessible_get_process_id(app.get(), &error);
        g_clear_error(&error);
        if (accept(int64_t(pid), app.get()))
            return app;
    }
    return nullptr;
}

// The focused text object of one application; its inactive windows only when onlyActive is false.
std::shared_ptr<AccessibleElement> focusedIn(AtspiAccessible *app, bool onlyActive)
{
    GError *error = nullptr;
    GText toolkit{atspi_accessible_get_toolkit_name(app, &error)};
    g_clear_error(&error);
    const bool utf16 = toolkit && QString::fromUtf8(toolkit.get()).startsWith(QLatin1String("Qt"));

    // The active window first; the others only when no window says it is active.
    int budget = kMaximumNodes;
    const int n = childCount(app);
    std::vector<Ref<AtspiAccessible>> active, inactive;
    for (int i = 0; i < n; ++i) {
        Ref<AtspiAccessible> window = child(app, i);
        if (!window)
            continue;
        if (!hasState(window.get(), ATSPI_STATE_ACTIVE)) {
            inactive.push_back(std::move(window));
            continue;
        }
        if (auto found = findText(window.get(), 1, budget, isFocused))
            return std::make_shared<AtSpiElement>(std::move(found), utf16);
        active.push_back(std::move(window));
    }
    if (onlyActive)
        return nullptr;
    for (auto &window : inactive)
        if (auto found = findText(window.get(), 1, budget, isFocused))
            return std::make_shared<AtSpiElement>(std::move(found), utf16);
    budget = kMaximumNodes;
    for (const auto *windows : {&active, &inactive})
        for (const auto &window : *windows)
            if (auto found = findText(window.get(), 1, budget, holdsSelection))
                return std::make_shared<AtSpiElement>(std::move(found), utf16);
    return nullptr;
}

bool hasActiveWindow(AtspiAccessible *app)
{
    const int n = childCount(app);
    for (int i = 0; i < n; ++i)
        if (Ref<AtspiAccessible> window = child(app, i); window && hasState(window.get(), ATSPI_STATE_ACTIVE))
            return true;
    return false;
}

} // namespace

std::shared_ptr<AccessibleElement> atSpiFocusedElement(int64_t processIdentifier)
{
    if (processIdentifier <= 0 || !ensureInitialised())
        return nullptr;
    Ref<AtspiAccessible> app = findApplication([processIdentifier](int64_t pid, AtspiAccessible *) {
        return pid == processIdentifier;
    });
    return app ? focusedIn(app.get(), false) : nullptr;
}

std::shared_ptr<AccessibleElement> atSpiDesktopFocusedElement(int64_t ownProcessIdentifier)
{
    const auto focus = atSpiDesktopFocus(ownProcessIdentifier);
    return focus ? focus->element : nullptr;
}

std::optional<AtSpiFocus> atSpiDesktopFocus(int64_t ownProcessIdentifier)
{
    if (!ensureInitialised())
        return std::nullopt;
    // Only one application should have an active window; ours never counts. One that has a
    // focused text object wins over a stale one that only says its window is active.
    std::optional<AtSpiFocus> found, activeOnly;
    findApplication([&](int64_t pid, AtspiAccessible *app) {
        if (pid == ownProcessIdentifier)
            return false;
        auto element = focusedIn(app, true);
        if (!element && (activeOnly || !hasActiveWindow(app)))
            return false;
        GError *error = nullptr;
        GText name{atspi_accessible_get_name(app, &error)};
        g_clear_error(&error);
        AtSpiFocus focus{pid, name ? QString::fromUtf8(name.get()) : QString(), element};
        if (!element) {
            activeOnly = std::move(focus);
            return false;
        }
        found = std::move(focus);
        return true;
    });
    return found ? found : activeOnly;
}
