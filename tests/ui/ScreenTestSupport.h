#pragma once

#include "../app/AppStateFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

// Screens under test: a state with a shortcut backend, and lookups of controls by what the user
// sees or hears (button text, accessible name).
class ScreenTest : public AppStateTest {
protected:
    void SetUp() override
    {
        hotKeyBackend = &backend;
        AppStateTest::SetUp();
    }
    void TearDown() override { state.reset(); }

    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
    }

    template <typename T = QAbstractButton>
    static T *control(const QWidget *root, const QString &textOrName)
    {
        for (T *w : root->findChildren<T *>()) {
            QString text;
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                text = b->text();
            if (text == textOrName || w->accessibleName() == textOrName)
                return w;
        }
        ADD_FAILURE() << "no control " << textOrName.toStdString();
        return nullptr;
    }

    // Visible to the user, assuming the screen itself is shown.
    static bool shown(const QWidget *w, const QWidget *root) { return w && w->isVisibleTo(const_cast<QWidget *>(root)); }

    FakeHotKeyBackend backend;
};
