// The stand-in's session-file reader on any file in a temporary home folder.
//
// Checked: a file that is no session is refused with a one-line message; a session read is
// written back to text that reads as the same session.

#include "act/standin/StandinSession.h"

#include "act/standin/StandinDatabase.h"

#include <QFile>
#include <QTemporaryDir>

#include "FuzzCheck.h"

#include <cstdint>

using namespace qm::act::standin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir home;
    const SessionStore store(home.path());
    {
        QFile f(store.sessionPath());
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    try {
        const Session s = store.load();
        const QByteArray text = s.toJson();
        const std::optional<Session> again = Session::fromJson(text);
        check(again.has_value() && again->toJson() == text);
        SessionWatch watch(home.path());
        check(watch.fresh().toJson() == text);
    } catch (const StandinError& e) {
        check(!e.message().isEmpty() && !e.message().contains(QLatin1Char('\n')));
    }
    return 0;
}
