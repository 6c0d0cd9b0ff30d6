#pragma once
// Every modal conversation with the user goes through this interface, so that
// handlers can be tested with scripted answers instead of a person.
#include <QColor>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDialog;

class Prompts {
public:
    virtual ~Prompts() = default;

    // Message box with one OK button. Returns 1.
    virtual int notice(const QString &text, const QString &caption) = 0;
    // Yes/No box; defaultChoice 2 makes No the default. Returns 1 for yes, 2 otherwise.
    virtual int yesNo(const QString &text, const QString &caption, int defaultChoice) = 0;
    // One of our own windows shown modally (message window, folder dialog, ...).
    // `what` names it for transcripts. Returns the modal result (1 OK, 2 cancel).
    virtual int runModal(QDialog &dialog, const QString &what) = 0;
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
};

// Answers nothing and shows nothing: cancel, No, empty. For a process without
// a person to ask; a subclass may still pass notices on somewhere.
class SilentPrompts : public Prompts {
public:
    int notice(const QString &, const QString &) override { return 1; }
    int yesNo(const QString &, const QString &, int) override { return 2; }
    int runModal(QDialog &, const QString &) override { return 2; }
    bool inputQuery(const QString &, const QString &, QString &) override { return false; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &, const QString &) override { return {}; }
    bool chooseColor(QColor &) override { return false; }
};

// A notice under NoticeCaption, after pending paints so the screen is up to date
// behind it. Returns 1.
int ShowNotice(const QString &text);
extern QString NoticeCaption; // "Mededeling"

// The prompts in force. Defaults to a Qt implementation installed by the program;
// tests install a scripted one.
Prompts &prompts();
void setPrompts(Prompts *p);   // not owned; nullptr restores the installed default
void setDefaultPrompts(Prompts *p);
