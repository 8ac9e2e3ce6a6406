#pragma once

// The settings check's look at the settings files as files, before what their keys say: a
// settings folder that is missing, and content that a reader takes for something else than a
// person sees in it (bytes that are not text, a byte-order mark). Each kind is one row of a table
// (FileCheck.cpp) with what it does in the authorized-users file and in a field's settings file.

#include "report/RightsReport.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace qm::report {

struct Hazard;

enum class SettingsFileRole { UsersFile, FieldFile };

// What a text editor may put before the first line of a file saved as UTF-8.
inline const QByteArray kUtf8ByteOrderMark("\xEF\xBB\xBF");

// The settings folder and the authorized-users file's folder: a hazard for each that does not
// exist (one when they are the same), as the Save that would fail there.
void checkFolders(const SettingsPaths& paths, std::vector<Hazard>& out);

// The hazards the content `bytes` of the settings file `path` holds in its `role`; `field`: the
// field's text, for a field's file.
void checkContent(SettingsFileRole role, const QString& path, const QByteArray& bytes, const QString& field,
                  std::vector<Hazard>& out);

// Where `bytes` first holds a byte that is no text (a control character other than a tab, a CR
// and an LF): "0x00 at byte 17"; empty when it is all text.
QString notTextAt(const QByteArray& bytes);

} // namespace qm::report
