#pragma once
// Every modal conversation with the user goes through this interface, so that
// handlers can be tested with scripted answers instead of a person.
#include <QColor>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDialog;

// The result of a modal conversation, numbered as the windows have always
// returned them: a yes/no box answers Yes or No, a window Ok or Cancel.
enum class ModalResult : int {
    None = 0,   // closed without an answer
    Ok = 1,
    Cancel = 2,
    Yes = 1,
    No = 2,
};

// A progress window shown to the user; it goes with this object.
class ProgressShown {
public:
    virtual ~ProgressShown() = default;
    // done of the total items are finished.
    virtual void setDone(int done) = 0;
};

class Prompts {
public:
    virtual ~Prompts() = default;

    // Message box with one OK button. Returns Ok.
    virtual ModalResult notice(const QString &text, const QString &caption) = 0;
    // Yes/No box; defaultChoice No makes No the default. Returns Yes, or No for anything else.
    virtual ModalResult yesNo(const QString &text, const QString &caption, ModalResult defaultChoice) = 0;
    // One of our own windows shown modally (message window, folder dialog, ...).
    // `what` names it for transcripts. Returns the window's modal result.
    virtual ModalResult runModal(QDialog &dialog, const QString &what) = 0;
    // Input line: caption, prompt above one edit line holding value. OK returns true
    // and the edited text in value.
    virtual bool inputQuery(const QString &caption, const QString &prompt, QString &value) = 0;
    // File dialogs: the chosen path, or empty on cancel.
    virtual QString openFileName(const QString &title, const QString &folder, const QString &filter) = 0;
    virtual QString saveFileName(const QString &title, const QString &folder, const QString &filter,
                                 const QString &defaultSuffix) = 0;
    // Colour dialog starting at colour; true and the chosen colour on OK.
    virtual bool chooseColor(QColor &color) = 0;
    // Application-modal window telling that slow work goes on, with "Annuleren";
    // the button, Escape and closing the window call cancelled. The window goes
    // with the returned object. Null when nothing is shown: the work cannot be stopped.
    virtual std::unique_ptr<QObject> busyWindow(const QString & /*caption*/, const QString & /*text*/,
                                                std::function<void()> /*cancelled*/)
    {
        return nullptr;
    }
    // Application-modal window telling how far slow work has come: label with
    // "%1" for the items done and "%2" for total, a bar, and "Stoppen"; the button,
    // Escape and closing call stopped. Null when nothing is shown.
    virtual std::unique_ptr<ProgressShown> progressWindow(const QString & /*caption*/, const QString & /*label*/,
                                                          int /*total*/, std::function<void()> /*stopped*/)
    {
        return nullptr;
    }
};

// Answers nothing and shows nothing: cancel, No, empty. For a process without
// a person to ask; a subclass may still pass notices on somewhere.
class SilentPrompts : public Prompts {
public:
    ModalResult notice(const QString &, const QString &) override { return ModalResult::Ok; }
    ModalResult yesNo(const QString &, const QString &, ModalResult) override { return ModalResult::No; }
    ModalResult runModal(QDialog &, const QString &) override { return ModalResult::Cancel; }
    bool inputQuery(const QString &, const QString &, QString &) override { return false; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    bool chooseColor(QColor &) override { return false; }
};

// A notice under NoticeCaption, after pending paints so the screen is up to date
// behind it. Returns 1.
ModalResult ShowNotice(const QString &text);
extern QString NoticeCaption; // "Mededeling"

// The prompts in force. Defaults to a Qt implementation installed by the program;
// tests install a scripted one.
Prompts &prompts();
void setPrompts(Prompts *p);   // not owned; nullptr restores the installed default
void setDefaultPrompts(Prompts *p);
