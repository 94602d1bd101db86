#include "ui/CharacterRuleValidator.h"

namespace orvane::ui {

QValidator::State CharacterRuleValidator::validate(QString& input, int& pos) const {
    QString kept;
    kept.reserve(input.size());
    int keptBeforeCursor = 0;
    for (int i = 0; i < input.size(); ++i) {
        if (!m_rule(input[i]))
            continue;
        kept.append(input[i]);
        if (i < pos)
            ++keptBeforeCursor;
    }
    if (kept.size() != input.size()) {
        input = kept;
        pos = keptBeforeCursor;
    }
    return Acceptable;
}

QString CharacterRuleValidator::kept(const QString& text) const {
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (m_rule(c))
            result.append(c);
    return result;
}

} // namespace orvane::ui
