#pragma once
// The prompts of the running program: real Qt dialogs.
#include "common/prompts.h"

class QtPrompts : public Prompts {
public:
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
};

// Makes QtPrompts the default prompts of the program.
void InstallQtPrompts();
