#pragma once
// The launcher: a small borderless main window whose first activation runs the
// scan window once, with the settings file loaded before and written after.
#include <QWidget>

class TScanform;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(TScanform *scanform, QWidget *parent = nullptr);

    void FormActivate();
    void FormClick();

protected:
    void showEvent(QShowEvent *e) override;
    bool event(QEvent *e) override;

private:
    TScanform *m_scanform;
    bool m_activated = false;
};

// The callbacks the launcher hands to the scan window.
QString DefaultFileName(const QString &folder);
bool AfterSave(const QString &path, const QString &folder, bool smallPicture);
