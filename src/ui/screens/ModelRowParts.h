#pragma once

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;
class QAbstractButton;

// What the speech-model cards and table rows and the writing-model rows have in common: small
// capitals badges, the error line, and the one action cluster that follows a model's state.
namespace ModelRowParts {

// A small capitals pill, such as "ACTIVE" or "RECOMMENDED CLOUD"; an accented one marks the
// active or recommended choice.
QLabel *badge(const QString &text, bool accented = false);
// Small capitals above a group or a column.
QLabel *columnCaption(const QString &text);
QLabel *boldLabel(const QString &text);
// A short fact with its icon in front, as wide as its text; the label is handed out to be styled.
QWidget *fact(const QString &symbolName, const QString &text, QLabel **label = nullptr);

// A warning icon with a message, hidden while there is none.
class ErrorLine final : public QWidget {
public:
    explicit ErrorLine(const QString &objectName, QWidget *parent = nullptr);
    void setMessage(const std::optional<QString> &message);
    QString text() const;

private:
    QLabel *m_text;
};

} // namespace ModelRowParts

// Download, progress and Cancel, Use, Selected and Remove for one model. The full form sits on
// cards and rows ("Use model", "Selected"); the compact form in the table ("Use", "ACTIVE", a
// progress percentage on the Download button and an icon for Remove).
class ModelActions final : public QWidget {
    Q_OBJECT

public:
    enum class Form { full, compact };
    struct Status {
        bool downloading = false;
        double progress = 0; // 0…1
        bool installed = false;
        bool selected = false;
        bool removable = false;
        // False when nothing can download it here.
        bool downloadable = true;
    };

    ModelActions(const QString &modelName, Form form, QWidget *parent = nullptr);
    void showStatus(const Status &status);

signals:
    void downloadRequested();
    void useRequested();
    void cancelRequested();
    void removeRequested();

private:
    Form m_form;
    QString m_name;
    QLabel *m_progress;
    QLabel *m_active;
    QPushButton *m_cancel;
    QPushButton *m_primary;
    QAbstractButton *m_remove;
    bool m_installed = false;
};
