#include "fakes/scripted_prompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QThread>
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
    // A question waits for the user on the window's thread, whatever runs beside it.
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread())
        << "asked beside the window: " << r.text.toStdString();
    m_transcript.push_back(r);
    if (m_answers.empty()) {
        ADD_FAILURE() << "unanswered " << r.kind.toStdString() << ": " << r.caption.toStdString()
                      << " / " << r.text.toStdString();
        return {ModalResult::Cancel, {}, {}, {}};
    }
    PromptAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

ModalResult ScriptedPrompts::notice(const QString &text, const QString &caption)
{
    // Notices need no scripted answer: they only have OK.
    m_transcript.push_back({"notice", caption, text, {}, ModalResult::None});
    return ModalResult::Ok;
}

ModalResult ScriptedPrompts::yesNo(const QString &text, const QString &caption, ModalResult defaultChoice)
{
    return next({"yesno", caption, text, {}, defaultChoice}).result == ModalResult::Yes ? ModalResult::Yes
                                                                                      : ModalResult::No;
}

ModalResult ScriptedPrompts::runModal(QDialog &dialog, const QString &what)
{
    PromptAnswer a = next({"modal", dialog.windowTitle(), what, {}, ModalResult::None});
    if (a.act)
        a.act(dialog);
    dialog.setResult(int(a.result));
    return a.result;
}

bool ScriptedPrompts::inputQuery(const QString &caption, const QString &prompt, QString &value)
{
    PromptAnswer a = next({"input", caption, prompt, value, ModalResult::None});
    if (a.result != ModalResult::Ok)
        return false;
    value = a.text;
    return true;
}

QString ScriptedPrompts::openFileName(const QString &title, const QString &folder, const QString &)
{
    PromptAnswer a = next({"open", title, {}, folder, ModalResult::None});
    return a.result == ModalResult::Ok ? a.text : QString();
}

QString ScriptedPrompts::saveFileName(const QString &title, const QString &folder, const QString &,
                                      const QString &)
{
    PromptAnswer a = next({"save", title, {}, folder, ModalResult::None});
    return a.result == ModalResult::Ok ? a.text : QString();
}

bool ScriptedPrompts::chooseColor(QColor &color)
{
    PromptAnswer a = next({"color", {}, {}, color.name(), ModalResult::None});
    if (a.result != ModalResult::Ok)
        return false;
    color = a.color;
    return true;
}

std::unique_ptr<QObject> ScriptedPrompts::busyWindow(const QString &caption, const QString &text,
                                                     std::function<void()> cancelled)
{
    m_transcript.push_back({"busy", caption, text, {}, ModalResult::None});
    auto window = std::make_unique<QObject>();
    if (stopBusyWork)
        QTimer::singleShot(0, window.get(), cancelled);
    return window;
}

namespace {
struct ScriptedProgress : QObject, ProgressShown {
    void setDone(int) override {}
};
}

std::unique_ptr<ProgressShown> ScriptedPrompts::progressWindow(const QString &caption, const QString &label, int total,
                                                               std::function<void()> stopped)
{
    m_transcript.push_back({"progress", caption, label, QString::number(total), ModalResult::None});
    auto window = std::make_unique<ScriptedProgress>();
    stopProgress = stopped;
    if (stopBusyWork)
        QTimer::singleShot(0, window.get(), stopped);
    return window;
}
