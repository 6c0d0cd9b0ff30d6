#pragma once
// The folder list of the folder dialog: the current folder's ancestors from the
// root down, the current folder itself (selected) and its subfolders, laid out
// top to bottom in a chosen number of columns.
#include <QListWidget>

class DirectoryList : public QListWidget {
    Q_OBJECT
public:
    explicit DirectoryList(QWidget *parent = nullptr);

    // Current folder, absolute, without trailing '/' (except the root "/").
    QString directory() const { return m_directory; }
    // Shows path (made absolute and clean); emits directoryChanged when it differs.
    void setDirectory(const QString &path);
    // Path of item i, or empty when there is none.
    QString itemPath(int i) const;
    // Index of the current folder's item.
    int currentFolderIndex() const { return m_currentIndex; }
    // Makes the selected item the current folder ("opens" it).
    void openSelected();

    int columns() const { return m_columns; }
    void setColumns(int n);   // below 1 counts as 1

signals:
    void directoryChanged(const QString &path);

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void fill();
    void updateGrid();
    QString m_directory;
    int m_currentIndex = 0;
    int m_columns = 3;
};
