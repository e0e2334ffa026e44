#include "HistoryItem.h"

#include "speech/SpeechModel.h"

#include <cmath>

QString HistoryItem::modelName() const
{
    if (const auto model = SpeechModel::withID(modelID))
        return model->name;
    return QStringLiteral("Local model");
}

QString HistoryItem::durationLabel() const
{
    const double rounded = std::isfinite(duration) ? std::max(0.0, std::round(duration)) : 0.0;
    const auto s = static_cast<long long>(std::min(rounded, 9.0e15));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
