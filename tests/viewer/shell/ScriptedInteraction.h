// The interaction seam for tests: answers from a script, and a word-for-word
// record of every message and dialog shown.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

#include "shell/Interaction.h"

namespace qdx::viewer::test {

struct ShownMessage {
    QString title, text;
    MessageIcon icon;
    MessageButtons buttons;
};

class ScriptedInteraction final : public Interaction {
public:
    MessageAnswer message(QWidget*, const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override
    {
        messages.push_back({title, text, icon, buttons});
        if (answers.empty())
            return MessageAnswer::Ok;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QString fileName(QWidget*, const FileDialogRequest& request) override
    {
        dialogs.push_back(request);
        if (fileNames.empty())
            return {};
        const QString name = fileNames.front();
        fileNames.pop_front();
        return name;
    }

    void setWaitCursor(bool on) override { waitCursor.push_back(on); }

    std::deque<MessageAnswer> answers;  // default: OK
    std::deque<QString> fileNames;      // default: cancelled
    std::vector<ShownMessage> messages;
    std::vector<FileDialogRequest> dialogs;
    std::vector<bool> waitCursor;
};

}  // namespace qdx::viewer::test
