#pragma once
// One running program per user: its copies share the scan transfer file and the
// last scan. The first start holds a lock in the user's state folder and listens
// on a socket beside it; a later start asks that one to come forward.
#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: the user's private state folder, with a trailing '/'.
    explicit SingleInstance(const QString &folder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True for the first copy, which from now on hears later starts; false when
    // another copy runs, which was asked to come forward.
    bool claim();

signals:
    // A later start asked this copy to come forward.
    void raiseRequested();

private:
    QString m_folder;
    int m_lock = -1;
    QLocalServer *m_server = nullptr;
};
