#include "FileDialogFilter.h"

QString CaseInsensitivePattern(const QString& pattern) {
    // "*.*" means every file; the dialog would read it as "has a dot".
    if (pattern == QStringLiteral("*.*")) return QStringLiteral("*");
    QString result;
    for (const QChar c : pattern) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (lower == upper) {
            result += c;
        } else {
            result += QStringLiteral("[") + lower + upper + QStringLiteral("]");
        }
    }
    return result;
}

QStringList DialogNameFilters(const QString& pairs) {
    const QStringList parts = pairs.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts))
            patterns << CaseInsensitivePattern(pattern.trimmed());
        // The dialog hides the part in parentheses, so the label reads as given.
        filters << parts[i] + QStringLiteral(" (") + patterns.join(' ') + QStringLiteral(")");
    }
    return filters;
}
