// The interaction seam for tests: answers from a script, and a word-for-word
// record of every message and dialog shown.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <deque>
#include <vector>

#include "pages/Interaction.h"

namespace qdx::viewer::test {

// A file dialog's words and kind as the operator sees them.
inline void expectFileDialog(const FileDialogRequest& asked, bool save, const char* title, const char* filterText,
                             const char* pattern, const char* defaultSuffix)
{
    EXPECT_EQ(asked.save, save);
    EXPECT_EQ(asked.title, QString::fromUtf8(title));
    EXPECT_EQ(asked.filterText, QString::fromUtf8(filterText));
    EXPECT_EQ(asked.pattern, QString::fromUtf8(pattern));
    EXPECT_EQ(asked.defaultSuffix, QString::fromUtf8(defaultSuffix));
}

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
        const MessageAnswer answer = answers.empty() ? MessageAnswer::Ok : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    QString fileName(QWidget* owner, const FileDialogRequest& request) override
    {
        dialogs.push_back(request);
        dialogOwners.push_back(owner);
        if (files.empty())
            return {};  // cancelled
        QString answer = files.front();
        files.pop_front();
        return answer;
    }
    void setWaitCursor(bool on) override { cursor.push_back(on); }

    std::deque<MessageAnswer> answers;  // then OK
    std::deque<QString> files;          // the paths the file dialogs return, then cancel
    std::vector<ShownMessage> messages;
    std::vector<FileDialogRequest> dialogs;
    std::vector<QWidget*> dialogOwners;
    std::vector<bool> cursor;  // every change of the wait cursor
};

}  // namespace qdx::viewer::test
