#include "report/FileCheck.h"

#include "report/SettingsCheck.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace qm::report {

namespace {

// One hazard a settings file's content may hold: where it lies in the bytes ("" when it is not
// there), and one line on what it does in each kind of file, "%1" the detail. A null text: not
// looked for in that kind of file here (the users file's byte-order mark hides a section, which
// the check of its sections tells).
struct ContentCheck {
    HazardKind kind;
    QString (*find)(const QByteArray& bytes);
    QString inUsersFile;
    QString inFieldFile;
};

QString byteOrderMark(const QByteArray& bytes) {
    return bytes.startsWith(kUtf8ByteOrderMark) ? QStringLiteral("the first three bytes") : QString();
}

const std::array<ContentCheck, 2>& contentChecks() {
    static const std::array<ContentCheck, 2> checks{{
        {HazardKind::NotText, notTextAt,
         QStringLiteral("The file holds bytes that are not text (%1), as a file saved as Unicode does: "
                        "reads find no rights in those lines, and the users given rights there read as "
                        "holding None."),
         QStringLiteral("The file holds bytes that are not text (%1): the editor reads its lines as the "
                        "flags and drop-down entries all the same, and a Save stores them again.")},
        {HazardKind::ByteOrderMark, byteOrderMark, QString(),
         QStringLiteral("The file begins with a UTF-8 byte-order mark: its first line is not read as "
                        "the \"Only from Drop-down\" flag.")},
    }};
    return checks;
}

} // namespace

QString notTextAt(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F) {
            return QStringLiteral("0x%1 at byte %2")
                .arg(QString::number(b, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                .arg(i + 1);
        }
    }
    return {};
}

void checkFolders(const SettingsPaths& paths, std::vector<Hazard>& out) {
    const QFileInfo users(paths.usersPath);
    const bool listMissing = !QFileInfo(paths.listPath).isDir();
    const bool usersMissing = !QFileInfo(users.absolutePath()).isDir();
    const bool same = QDir(paths.listPath) == QDir(users.absolutePath());
    const auto add = [&](const QString& folder, const QString& what) {
        out.push_back({HazardKind::FolderMissing, {}, {}, QDir::toNativeSeparators(folder), what});
    };
    if (listMissing) {
        add(paths.listPath,
            QStringLiteral(
                "The settings folder does not exist: Save stops with \"Error 76: 'Path not found'\", "
                "and ") +
                (usersMissing && same
                     ? QStringLiteral("neither a field's settings nor any right can be stored.")
                     : QStringLiteral("no field's settings can be stored.")));
    }
    if (usersMissing && !same) {
        add(users.absolutePath(),
            QStringLiteral("The folder of ") + users.fileName() +
                QStringLiteral(" does not exist: no right can be stored, by Close or by Save."));
    }
}

void checkContent(SettingsFileRole role, const QString& path, const QByteArray& bytes, const QString& field,
                  std::vector<Hazard>& out) {
    for (const ContentCheck& check : contentChecks()) {
        const QString& text = role == SettingsFileRole::UsersFile ? check.inUsersFile : check.inFieldFile;
        if (text.isNull()) {
            continue;
        }
        const QString at = check.find(bytes);
        if (!at.isEmpty()) {
            out.push_back({check.kind,
                           {},
                           field,
                           QFileInfo(path).fileName(),
                           text.contains(QLatin1String("%1")) ? text.arg(at) : text});
        }
    }
}

} // namespace qm::report
