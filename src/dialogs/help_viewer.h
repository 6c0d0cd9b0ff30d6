#pragma once
// Our viewer for compiled help files: pages, links between them, back and forward.
#include "dialogs/help_viewer_chm.h"

#include <QTextBrowser>
#include <QWidget>

class QPushButton;

// Text browser that reads its pages, pictures and style sheets from a help file
// (URLs "chm:///page.htm").
class ChmBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit ChmBrowser(QWidget *parent = nullptr);
    void setArchive(const ChmArchive *archive) { m_archive = archive; }
    QVariant loadResource(int type, const QUrl &name) override;
    static QUrl urlOf(const QString &topic);   // "page.htm#anchor" -> chm:///page.htm#anchor

private:
    void followLink(const QUrl &link);
    const ChmArchive *m_archive = nullptr;
};

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget *parent = nullptr);

    bool openFile(const QString &helpFile);   // false when it is no readable help file
    // Shows topic ("page.htm" or "page.htm#anchor"; empty: the file's own start page).
    // False when the file has no such page.
    bool showTopic(const QString &topic);
    // The page shown now, without leading '/'.
    QString currentTopic() const;

    ChmBrowser *browser() const { return m_browser; }
    QPushButton *backButton() const { return m_back; }
    QPushButton *forwardButton() const { return m_forward; }
    QPushButton *contentsButton() const { return m_home; }
    const ChmArchive &archive() const { return m_archive; }

protected:
    void keyPressEvent(QKeyEvent *e) override;

private:
    void showStartPage();
    ChmArchive m_archive;
    ChmBrowser *m_browser;
    QPushButton *m_back;
    QPushButton *m_forward;
    QPushButton *m_home;
};

// Opens topic of helpFile in the program's one help window (created on first use).
// False, without showing anything, when the file or the page cannot be read.
bool OpenHelpViewer(const QString &helpFile, const QString &topic);
// The help window when it exists (for tests), otherwise nullptr.
HelpViewer *HelpViewerWindow();
