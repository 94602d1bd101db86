#include "support/ScriptedDialogs.h"

namespace orvane::test {

namespace {
std::optional<QString> next(std::deque<std::optional<QString>>& answers) {
    std::optional<QString> answer;
    if (!answers.empty()) {
        answer.swap(answers.front());
        answers.pop_front();
    }
    return answer;
}
} // namespace

std::optional<QString> ScriptedDialogs::chooseFolder(QWidget*, const QString& prompt,
                                                     const QString& root) {
    folderRequests.push_back({prompt, root});
    return next(folderAnswers);
}

std::optional<QString> ScriptedDialogs::openFile(QWidget*, const OpenFileOptions& options) {
    fileRequests.push_back(options);
    return next(fileAnswers);
}

void ScriptedDialogs::showError(QWidget*, const QString& title, const QString& text) {
    errors.push_back({title, text});
}

} // namespace orvane::test
