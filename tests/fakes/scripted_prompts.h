#pragma once
// Prompts that answer from a queue and keep a transcript of everything shown,
// so a handler test reads like the user's conversation with the program.
#include "common/prompts.h"

#include <QStringList>
#include <deque>
#include <functional>

struct PromptRecord {
    QString kind;     // "notice", "yesno", "modal", "input", "open", "save", "color", "busy"
    QString caption;  // caption or title
    QString text;     // text, prompt, or the `what` of a modal window
    QString value;    // value offered (input), folder (file dialogs)
    int defaultChoice = 0;
};

struct PromptAnswer {
    int result = 1;          // yes/no: 1 or 2; modal: modal result; input/color/file: 1 = OK
    QString text;            // input value or chosen file
    QColor color;
    // For own windows: runs against the dialog before the result is returned.
    std::function<void(QDialog &)> act;
};

class ScriptedPrompts : public Prompts {
public:
    ScriptedPrompts();            // installs itself
    ~ScriptedPrompts() override;  // uninstalls

    // Queue answers in order; an unanswered question fails the test.
    void answer(const PromptAnswer &a) { m_answers.push_back(a); }
    void answerYes() { answer({1, {}, {}, {}}); }
    void answerNo() { answer({2, {}, {}, {}}); }
    void answerOk(const QString &text = {}) { answer({1, text, {}, {}}); }
    void answerCancel() { answer({2, {}, {}, {}}); }

    const std::vector<PromptRecord> &transcript() const { return m_transcript; }
    QStringList texts() const;   // the text of every record, in order
    int pending() const { return int(m_answers.size()); }
    // Busy windows need no answer; with this set, the user stops the work at once.
    bool stopBusyWork = false;

    int notice(const QString &text, const QString &caption) override;
    int yesNo(const QString &text, const QString &caption, int defaultChoice) override;
    int runModal(QDialog &dialog, const QString &what) override;
    bool inputQuery(const QString &caption, const QString &prompt, QString &value) override;
    QString openFileName(const QString &title, const QString &folder, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &folder, const QString &filter,
                         const QString &defaultSuffix) override;
    bool chooseColor(QColor &color) override;
    std::unique_ptr<QObject> busyWindow(const QString &caption, const QString &text,
                                        std::function<void()> cancelled) override;

private:
    PromptAnswer next(const PromptRecord &r);
    std::deque<PromptAnswer> m_answers;
    std::vector<PromptRecord> m_transcript;
};
