#include "Vocabulary.h"

#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace Vocabulary {
namespace {

int graphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

} // namespace

QString prompt(const QStringList &vocabulary) { return vocabulary.join(QStringLiteral(", ")); }

QString normalize(const QString &text, const QStringList &vocabulary)
{
    if (vocabulary.isEmpty())
        return text;
    QList<QPair<int, QString>> terms;
    for (const QString &term : vocabulary)
        terms.append({graphemeCount(term), term});
    std::stable_sort(terms.begin(), terms.end(), [](const auto &a, const auto &b) { return a.first > b.first; });

    QString result = text;
    for (const auto &[length, term] : std::as_const(terms)) {
        if (term.isEmpty())
            continue; // matches nothing but would match everywhere
        const QRegularExpression pattern(QStringLiteral("(?<![\\p{L}\\p{N}])") + QRegularExpression::escape(term) +
                                             QStringLiteral("(?![\\p{L}\\p{N}])"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::UseUnicodePropertiesOption);
        if (!pattern.isValid())
            continue;
        // Built by hand so the term goes in literally: "$" and "\" are not special here.
        QString rewritten;
        qsizetype last = 0;
        auto matches = pattern.globalMatch(result);
        while (matches.hasNext()) {
            const auto match = matches.next();
            rewritten += QStringView(result).mid(last, match.capturedStart() - last);
            rewritten += term;
            last = match.capturedEnd();
        }
        if (last == 0 && rewritten.isEmpty())
            continue;
        rewritten += QStringView(result).mid(last);
        result = rewritten;
    }
    return result;
}

} // namespace Vocabulary
