#include "dialogs/seldir.h"

#include "common/filez.h"
#include "common/prompts.h"
#include "common/terminology.h"
#include "dialogs/messages.h"
#include "dialogs/placement.h"
#include "dialogs/seldir_list.h"
#include "ui_seldirform.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>

SelectFolderMemory SeldirMemory;
QString SelectedFolder;

namespace {

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// True when folder lies in base or is base itself. Both end with '/', so
// "/data/scans2/" is not taken for a folder inside "/data/scans/"; letter case
// counts because it does on this file system.
bool liesInside(const QString &folder, const QString &base)
{
    return folder.startsWith(base);
}

bool isThumbnailsFolder(const QString &folder)
{
    return EndsWithText(folder, QStringLiteral("thumbnails")) ||
           EndsWithText(folder, QStringLiteral("thumbnails/"));
}

}

Tseldirform::Tseldirform(QWidget *parent) : QDialog(parent), ui(new Ui::Tseldirform)
{
    ui->setupUi(this);
    ui->dirup->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    ui->newdir->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    ui->DirectoryListBox1->setColumns(ui->SpinEdit1->value());

    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(volume.rootPath()).isDir())
            continue;
        QString root = volume.rootPath();
        QString label = volume.displayName() == root ? root : root + "  (" + volume.displayName() + ")";
        ui->DriveComboBox1->addItem(label, root);
    }
    selectDriveFor(ui->DirectoryListBox1->directory());
    refreshFileList();

    connect(ui->DriveComboBox1, QOverload<int>::of(&QComboBox::activated), this,
            &Tseldirform::DriveComboBox1Change);
    connect(ui->DirectoryListBox1, &DirectoryList::directoryChanged, this, [this] {
        refreshFileList();
        DirectoryListBox1Change();
    });
    connect(ui->DirectoryListBox1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            DirectoryListBox1Click();
    });
    connect(ui->SpinEdit1, QOverload<int>::of(&QSpinBox::valueChanged), this, &Tseldirform::SpinEdit1Change);
    connect(ui->dirup, &QToolButton::clicked, this, &Tseldirform::dirupClick);
    connect(ui->newdir, &QToolButton::clicked, this, &Tseldirform::CreatedirClick);
    connect(ui->ok, &QPushButton::clicked, this, &Tseldirform::okClick);
    connect(ui->canc, &QPushButton::clicked, this, &Tseldirform::cancClick);
}

Tseldirform::~Tseldirform() { delete ui; }

void Tseldirform::selectDriveFor(const QString &path)
{
    QString target = WithTrailingBackslash(absoluteClean(path));
    int best = -1;
    int bestLength = -1;
    for (int i = 0; i < ui->DriveComboBox1->count(); ++i) {
        QString root = WithTrailingBackslash(ui->DriveComboBox1->itemData(i).toString());
        if (target.startsWith(root) && root.length() > bestLength) {
            best = i;
            bestLength = root.length();
        }
    }
    if (best >= 0) {
        const QSignalBlocker block(ui->DriveComboBox1);
        ui->DriveComboBox1->setCurrentIndex(best);
    }
}

QString Tseldirform::selectedItemFolder() const
{
    int i = Larger(0, ui->DirectoryListBox1->currentRow());
    return ExpandLongPath(WithTrailingBackslash(ui->DirectoryListBox1->itemPath(i)));
}

void Tseldirform::keepInsideBase()
{
    if (!baseFolder.isEmpty() && !SafeDirectoryExists(baseFolder))
        baseFolder.clear();
    if (baseFolder.isEmpty())
        return;
    QString base = WithTrailingBackslash(absoluteClean(baseFolder));
    if (liesInside(chosenFolder, base))
        return;
    chosenFolder = base;
    selectDriveFor(base);
    ui->DirectoryListBox1->setDirectory(base);
}

void Tseldirform::followFolderList()
{
    setWindowTitle(captionText);
    chosenFolder = selectedItemFolder();
    keepInsideBase();
    setWindowTitle(captionText + ", " + Term(Terms::Nu) + ": " + chosenFolder);
}

void Tseldirform::DirectoryListBox1Click() { followFolderList(); }

void Tseldirform::DirectoryListBox1Change()
{
    if (ui->DirectoryListBox1->hasFocus() && isVisible())
        followFolderList();
}

void Tseldirform::DriveComboBox1Change()
{
    QString root = ui->DriveComboBox1->currentData().toString();
    if (!root.isEmpty()) {
        QDir::setCurrent(root);
        ui->DirectoryListBox1->setDirectory(root);
    }
    followFolderList();
    ui->newdir->setEnabled(CanWriteCurrentFolder());
}

void Tseldirform::SpinEdit1Change()
{
    ui->DirectoryListBox1->setColumns(TextToInt(ui->SpinEdit1->text()));
}

void Tseldirform::dirupClick()
{
    DirectoryList *list = ui->DirectoryListBox1;
    // One level up from the folder being shown, whatever item is selected.
    int here = list->currentFolderIndex();
    if (here > 0) {
        QString parent = list->itemPath(here - 1);
        list->setCurrentRow(here - 1);
        list->setDirectory(parent);
        QDir::setCurrent(parent);
    }
    refreshFileList();
}

void Tseldirform::CreatedirClick()
{
    DirectoryList *list = ui->DirectoryListBox1;
    if (list->count() < 1 || list->currentRow() < 0)
        return;
    list->openSelected();
    QString parent = WithTrailingBackslash(list->directory());
    QString name = QStringLiteral("Nieuwe map");
    if (!prompts().inputQuery(QStringLiteral("Map aanmaken"), "Geef een naam voor map in " + parent + ":", name))
        return;
    // One level only: a name with '/' would reach into other folders.
    bool made = !name.isEmpty() && !name.contains('/') && !name.contains(QChar(0)) &&
                CreateFolder(parent + name);
    if (!made) {
        ShowNotice("Iets lukt niet met met " + parent + name);
        return;
    }
    QDir::setCurrent(parent + name);
    list->setDirectory(parent + name);
    followFolderList();
}

void Tseldirform::okClick()
{
    chosenFolder = selectedItemFolder();
    // The base folder also holds for a folder reached with "up" or a new folder.
    keepInsideBase();
    if (isThumbnailsFolder(chosenFolder)) {
        const ModalResult answer = AskYesNo(QStringLiteral("U selecteert een thumbnails-map.\r\n"
                                             "Dat is hoogstwaarschijnlijk niet de bedoeling.\r\n"
                                             "Thumbnail-mappen bevatten alleen verkleinde kopie's van de "
                                             "bitmaps in de onderliggende map.\r\n"
                                             "Weet u zeker dat u deze map wilt selecteren ?"),
                              QStringLiteral("Ja, deze thumbnailmap selecteren"),
                              QStringLiteral("Nee, een andere map selecteren"), ModalResult::No,
                              QStringLiteral("Thumbnailmap geselecteerd"));
        if (answer != ModalResult::Yes)
            return;
    }
    done(int(ModalResult::Ok));
}

void Tseldirform::cancClick() { done(int(ModalResult::Cancel)); }

void Tseldirform::reject() { cancClick(); }

void Tseldirform::refreshFileList()
{
    QListWidget *files = ui->FileListBox1;
    files->clear();
    QDir dir(ui->DirectoryListBox1->directory());
    QFileIconProvider icons;
    for (const QString &name : EntryNames(dir.path(), false))
        files->addItem(new QListWidgetItem(icons.icon(QFileInfo(dir.filePath(name))), name));
}

bool SelectFolder(const QString &startFolder, const QString &captionText, const QString &baseFolder)
{
    Tseldirform form;
    form.captionText = captionText;
    form.startFolder = startFolder;
    SelectedFolder = startFolder;
    form.baseFolder = baseFolder.trimmed();

    if (SeldirMemory.columns > 0)
        form.ui->SpinEdit1->setValue(SeldirMemory.columns);
    form.resize(SeldirMemory.width, SeldirMemory.height);
    form.move(SeldirMemory.left, SeldirMemory.top);
    FitFormOnScreen(&form);

    if (!startFolder.isEmpty()) {
        if (SafeDirectoryExists(startFolder)) {
            QDir::setCurrent(startFolder);
            form.ui->DirectoryListBox1->setDirectory(startFolder);
            form.selectDriveFor(startFolder);
        } else {
            ShowNotice(startFolder + " niet gevonden");
        }
    }

    // The caption is the caller's from the start, naming the folder shown.
    form.setWindowTitle(form.ui->DirectoryListBox1->directory().isEmpty()
                            ? captionText
                            : captionText + ", " + Term(Terms::Nu) + ": "
                                  + WithTrailingBackslash(form.ui->DirectoryListBox1->directory()));
    bool confirmed = prompts().runModal(form, QStringLiteral("seldirform")) == ModalResult::Ok;
    if (confirmed) {
        if (form.chosenFolder.isEmpty())
            form.chosenFolder = WithTrailingBackslash(form.ui->DirectoryListBox1->directory());
        SelectedFolder = form.chosenFolder;
    }

    SeldirMemory.columns = form.ui->SpinEdit1->value();
    SeldirMemory.height = form.height();
    SeldirMemory.width = form.width();
    SeldirMemory.top = form.y();
    SeldirMemory.left = form.x();
    return confirmed;
}
