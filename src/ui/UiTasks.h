#pragma once

#include "app/AppState.h"

#include <QMetaObject>
#include <QPointer>

// Menu and tray actions reach the state as main-thread tasks, dropped if the state is gone.
template <typename Work>
void onMainThread(AppState *state, Work work)
{
    QPointer<AppState> self(state);
    QMetaObject::invokeMethod(
        state,
        [self, work] {
            if (self)
                work(*self);
        },
        Qt::QueuedConnection);
}
