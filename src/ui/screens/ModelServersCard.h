#pragma once

#include "models/ModelServer.h"

#include <QNetworkAccessManager>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class AppState;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The user's OpenAI-compatible servers: one row per server and its model (where the text goes,
// use, remove), and the form that adds one after "Test connection" listed its models.
class ModelServersCard final : public QWidget {
    Q_OBJECT

public:
    explicit ModelServersCard(AppState &state, QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *addressField() const { return m_address; }
    QLineEdit *keyField() const { return m_key; }
    QPushButton *testButton() const { return m_test; }
    QComboBox *modelChoice() const { return m_model; }
    QCheckBox *imagesBox() const { return m_images; }
    QPushButton *addButton() const { return m_add; }
    // What the last test, addition or removal came to, in plain words.
    QString statusText() const;
    bool isBusy() const { return m_busy; }

    QCoro::Task<> testConnection();
    QCoro::Task<> addServer();
    QCoro::Task<> removeServer(ModelServer server);

    // A sentence for the rows and the overlay: where the text of this server's model goes.
    static QString destinationText(const ModelServer &server);

signals:
    void statusChanged();

private:
    void setStatus(const QString &text, bool failure);
    void rebuildRows();
    void refresh();
    void formEdited();
    QWidget *makeRow(const ModelServer &server);

    AppState &m_state;
    QNetworkAccessManager m_network;
    QVBoxLayout *m_rows;
    QLineEdit *m_name;
    QLineEdit *m_address;
    QLineEdit *m_key;
    QPushButton *m_test;
    QComboBox *m_model;
    QCheckBox *m_images;
    QPushButton *m_add;
    QLabel *m_status;
    bool m_busy = false;
    QList<std::function<void()>> m_refreshers;
};
