#pragma once
// Prompts that answer from a queue and keep a transcript of everything shown,
// so a handler test reads like the user's conversation with the program.
#include "common/prompts.h"

#include <QStringList>
#include <deque>
#include <functional>

struct PromptRecord {
    QString kind;     // "notice", "yesno", "modal", "input", "open", "save", "color", "busy", "progress"
    QString caption;  // caption or title
    QString text;     // text, prompt, or the `what` of a modal window
    QString value;    // value offered (input), folder (file dialogs), total (progress)
    ModalResult defaultChoice = ModalResult::None;
};

struct PromptAnswer {
    ModalResult result = ModalResult::Ok;   // yes/no, a window's modal result; input/color/file: Ok or not
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
    void answerYes() { answer({ModalResult::Yes, {}, {}, {}}); }
    void answerNo() { answer({ModalResult::No, {}, {}, {}}); }
    void answerOk(const QString &text = {}) { answer({ModalResult::Ok, text, {}, {}}); }
    void answerCancel() { answer({ModalResult::Cancel, {}, {}, {}}); }

    const std::vector<PromptRecord> &transcript() const { return m_transcript; }
    QStringList texts() const;   // the text of every record, in order
    int pending() const { return int(m_answers.size()); }
    // Busy and progress windows need no answer; with this set, the user stops the work at once.
    bool stopBusyWork = false;
    // The Stoppen of the progress window shown last, for a test that stops midway.
    std::function<void()> stopProgress;

    ModalResult notice(const QString &text, const QString &caption) override;
    ModalResult yesNo(const QString &text, const QString &caption, ModalResult defaultChoice) override;
    ModalResult runModal(QDialog &dialog, const QString &what) override;
    bool inputQuery(const QString &caption, const QString &prompt, QString &value) override;
    QString openFileName(const QString &title, const QString &folder, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &folder, const QString &filter,
                         const QString &defaultSuffix) override;
    bool chooseColor(QColor &color) override;
    std::unique_ptr<QObject> busyWindow(const QString &caption, const QString &text,
                                        std::function<void()> cancelled) override;
    std::unique_ptr<ProgressShown> progressWindow(const QString &caption, const QString &label, int total,
                                                  std::function<void()> stopped) override;

private:
    PromptAnswer next(const PromptRecord &r);
    std::deque<PromptAnswer> m_answers;
    std::vector<PromptRecord> m_transcript;
};
