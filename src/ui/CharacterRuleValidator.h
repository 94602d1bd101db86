#pragma once

#include <QValidator>

namespace orvane::ui {

// Holds an edit box to a per-character rule for text that arrives other than
// by typing (paste, drop, an input method): refused characters are dropped,
// the rest is taken.
class CharacterRuleValidator final : public QValidator {
public:
    using Rule = bool (*)(QChar);
    CharacterRuleValidator(Rule rule, QObject* parent) : QValidator(parent), m_rule(rule) {}

    State validate(QString& input, int& pos) const override;
    // The text without the characters the rule refuses.
    QString kept(const QString& text) const;

private:
    Rule m_rule;
};

} // namespace orvane::ui
