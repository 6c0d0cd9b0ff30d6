#include "fakes/scripted_prompts.h"

#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>

ScriptedPrompts::ScriptedPrompts() { setPrompts(this); }
ScriptedPrompts::~ScriptedPrompts() { setPrompts(nullptr); }

QStringList ScriptedPrompts::texts() const
{
    QStringList out;
    for (const auto &r : m_transcript)
        out << r.text;
    return out;
}

PromptAnswer ScriptedPrompts::next(const PromptRecord &r)
{
    m_transcript.push_back(r);
    if (m_answers.empty()) {
        ADD_FAILURE() << "unanswered " << r.kind.toStdString() << ": " << r.caption.toStdString()
                      << " / " << r.text.toStdString();
        return {2, {}, {}, {}};
    }
    PromptAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

int ScriptedPrompts::notice(const QString &text, const QString &caption)
{
    // Notices need no scripted answer: they only have OK.
    m_transcript.push_back({"notice", caption, text, {}, 0});
    return 1;
}

int ScriptedPrompts::yesNo(const QString &text, const QString &caption, int defaultChoice)
{
    return next({"yesno", caption, text, {}, defaultChoice}).result == 1 ? 1 : 2;
}

int ScriptedPrompts::runModal(QDialog &dialog, const QString &what)
{
    PromptAnswer a = next({"modal", dialog.windowTitle(), what, {}, 0});
    if (a.act)
        a.act(dialog);
    dialog.setResult(a.result);
    return a.result;
}

bool ScriptedPrompts::inputQuery(const QString &caption, const QString &prompt, QString &value)
{
    PromptAnswer a = next({"input", caption, prompt, value, 0});
    if (a.result != 1)
        return false;
    value = a.text;
    return true;
}

QString ScriptedPrompts::openFileName(const QString &title, const QString &folder, const QString &)
{
    PromptAnswer a = next({"open", title, {}, folder, 0});
    return a.result == 1 ? a.text : QString();
}

QString ScriptedPrompts::saveFileName(const QString &title, const QString &folder, const QString &,
                                      const QString &)
{
    PromptAnswer a = next({"save", title, {}, folder, 0});
    return a.result == 1 ? a.text : QString();
}

bool ScriptedPrompts::chooseColor(QColor &color)
{
    PromptAnswer a = next({"color", {}, {}, color.name(), 0});
    if (a.result != 1)
        return false;
    color = a.color;
    return true;
}

std::unique_ptr<QObject> ScriptedPrompts::busyWindow(const QString &caption, const QString &text,
                                                     std::function<void()> cancelled)
{
    m_transcript.push_back({"busy", caption, text, {}, 0});
    auto window = std::make_unique<QObject>();
    if (stopBusyWork)
        QTimer::singleShot(0, window.get(), cancelled);
    return window;
}
