#pragma once
// The folder dialog: pick a folder, optionally kept inside a base folder.
#include <QDialog>
#include <QString>

namespace Ui { class Tseldirform; }

class Tseldirform : public QDialog {
    Q_OBJECT
public:
    explicit Tseldirform(QWidget *parent = nullptr);
    ~Tseldirform() override;

    Ui::Tseldirform *ui = nullptr;

    QString captionText = QStringLiteral("Selecteer een directory");
    QString startFolder;
    QString baseFolder;     // empty: no restriction
    QString chosenFolder;   // full path with trailing '/'

    // Selects the mounted volume holding path in DriveComboBox1 (no handler runs).
    void selectDriveFor(const QString &path);

public slots:
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void DirectoryListBox1Click();
    void SpinEdit1Change();
    void dirupClick();
    void CreatedirClick();
    void okClick();
    void cancClick();
    void refreshFileList();

protected:
    void reject() override;   // Escape and the close box act as "Annuleren"

private:
    void followFolderList();
    void keepInsideBase();
    QString selectedItemFolder() const;
};

// What outlives one dialog: the last result and the geometry, for this run only.
struct SelectFolderMemory {
    int columns = 3;
    int width = 572;
    int height = 422;
    int top = 20;
    int left = 20;
};
extern SelectFolderMemory SeldirMemory;
extern QString SelectedFolder;

// Shows the folder dialog; true when the user confirmed a folder, which is then
// in SelectedFolder (always ending with '/').
bool SelectFolder(const QString &startFolder, const QString &captionText, const QString &baseFolder);
