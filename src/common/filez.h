#pragma once
// Paths, files, numbers and texts shared by every window.
// Paths use '/'; "trailing backslash" helpers append '/'.
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

class QFile;

// --- paths and files ---
// Folder of the executable, letter case kept, trailing '/'; for an installed
// program the user's folder instead (Locations::userProgramFolder).
QString ProgramFolder();
// Executable path, first ".exe" -> ".ini", else ".ini" appended; for an
// installed program that name in the user's folder.
QString SettingsFileName();
// Where scans go until the user chooses: for an installed program "KVNscan" in
// the user's pictures folder (as xdg-user-dir names it, else ~/Pictures; the
// home folder when that is missing), made at the first save; else ProgramFolder.
QString DefaultTargetFolder();
QString TempFolder();   // the user's private state folder, trailing '/' (Locations::stateFolder)
QString WithTrailingBackslash(const QString &text);
QString ExpandLongPath(const QString &path);
QString ShortPathOf(const QString &path);
struct SplitName { QString extension; QString base; };
SplitName SplitExtension(const QString &name);
bool EndsWithText(const QString &text, const QString &suffix);
qint64 FileSizeOf(const QString &path);
int DriveTypeOf(const QString &drive);
bool DriveReady(const QString &drive);
bool SafeFileExists(const QString &path);
bool SafeDirectoryExists(const QString &path);
bool CanCreateFile(const QString &path);  // never touches an existing file
bool CanWriteCurrentFolder();
bool CreateFolder(const QString &path);   // the last level only, as QDir::mkdir
// A path's bytes for the file system, and back. Bytes that are not UTF-8 travel
// in the text as U+DC80..U+DCFF, so a name the system lists reaches it unchanged.
QByteArray NativePath(const QString &path);
QString PathFromNative(const QByteArray &bytes);
// Opens file on path by its bytes, for reading.
bool OpenForReading(QFile &file, const QString &path);
// Names of the folder's sub-folders or of its files, hidden ones left out,
// sorted without case.
QStringList EntryNames(const QString &folder, bool subfolders);
// Where the platform offers a browser and a default help file; both empty unless set.
extern QString BrowserPath;
extern QString DefaultHelpFile;
// Writes text + CR LF, replacing the file atomically; failures go to the log.
// Returns true when the file was written.
bool WriteTextFile(const QString &text, const QString &fileName);
// Replaces the file with bytes through a temporary file in the same folder, so a
// failure leaves the old file as it was. On failure why (Dutch) says what failed.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *why = nullptr);

// The one way a file is replaced: written whole under a hidden temporary name
// beside its target, put in place by commit only when every byte was written.
// Dropped uncommitted, the temporary file goes. A target that is a symbolic
// link stays a link and the file it names is replaced, as editors do; with
// Links::Refuse a link is not written through at all. A failure keeps the
// system's error.
class ReplacingSave {
public:
    enum class Links { Follow, Refuse };
    explicit ReplacingSave(const QString &fileName, Links links = Links::Follow);
    ~ReplacingSave();
    ReplacingSave(const ReplacingSave &) = delete;
    ReplacingSave &operator=(const ReplacingSave &) = delete;

    // encode writes the whole file into the stream; false on any failure.
    bool write(const std::function<bool(FILE *)> &encode);
    // The whole file at once, forced to the disk before it is put in place.
    bool write(const QByteArray &bytes);
    // The complete file before commit, for what is still to go into it.
    QString temporaryPath() const;
    // finish, when given, may still add to the complete file before it is put in place.
    bool commit(const std::function<bool(const QString &)> &finish = {});
    // The system's error of the first failure (errno), 0 while nothing failed.
    int error() const { return m_error; }
    // What failed and why, in Dutch ("schrijven mislukt: Geen ruimte meer op het
    // opslagmedium"); empty while nothing failed.
    QString reason() const { return m_reason; }

private:
    bool open();
    bool fail(const QString &step, int error, const QString &why = QString());
    QString m_fileName;
    Links m_links;
    QByteArray m_target, m_temp;
    int m_fd = -1;
    bool m_written = false;
    int m_error = 0;
    QString m_reason;
};
// Creates the hidden temporary file "." + name + ".XXXXXX.part" beside target
// (name shortened when the whole would pass 255 bytes), open for writing with
// the target's permissions (a new file in a folder closed to others is closed
// to them too) and locked while open; first removes stale ones of
// ours from that folder. Returns the descriptor, or -1 with errno set.
int CreateTemporaryBeside(const QByteArray &target, QByteArray &temporary);
// Our temporary files in folder that no save holds and that were not written
// for this many seconds are removed when a save goes into that folder.
constexpr int kStaleTemporarySeconds = 10 * 60;
void RemoveStaleTemporaries(const QByteArray &folder);
// A reason the system gave for a failure (QFile::errorString, strerror) in Dutch;
// a reason without a known translation is returned as it is.
QString DutchReason(const QString &reason);

// --- shell ---
bool ShellOpen(const QString &file, const QString &parameters, const QString &verb);
bool ShowHelpTopic(const QString &topic, const QString &helpFile);

// --- numbers and text ---
QString IntToText(qint64 value);
int TextToInt(const QString &text);
int TextToIntDef(const QString &text, int def);
inline int Larger(int a, int b) { return a > b ? a : b; }
inline int Smaller(int a, int b) { return a < b ? a : b; }
QString FormatCount(qint64 value, int width);
// Without the spaces and control characters (code 32 and below) at either end.
QString TrimControl(const QString &text);
QString TrimLower(const QString &text);
QChar LowerChar(QChar c);
QString LowerText(const QString &text);
QString CapitaliseName(const QString &text, bool lowerFirst = false, const QStringList *exceptions = nullptr);
bool ReplaceFirstText(QString &text, const QString &find, const QString &replacement, bool caseSensitive = false);
int ReplaceAllText(QString &text, const QString &find, const QString &replacement, bool caseSensitive = false);
int ReplaceRepeated(QString &text, const QString &find, const QString &replacement, bool caseSensitive = false);
int ReplaceOnePass(QString &text, const QString &find, const QString &replacement, bool caseSensitive = false);

// Case-insensitive search folds characters through this table (Latin-1 range);
// other characters fold with QChar::toUpper.
extern const char16_t *const UpperTable;

// --- log ---
// Common code logs through a sink so that it needs no windows; the program
// installs the log window (InstallLogWindow). Without a sink lines are dropped.
using LogSink = void (*)(const QString &);
void SetLogSink(LogSink sink);
LogSink CurrentLogSink();
void LogText(const QString &text);
