#include "report/ListCheck.h"

#include "settings/IniLib.h"

#include <QSet>

#include <algorithm>

namespace qm::report {

ListReading readList(const rights::UserIndex& users, const QString& value) {
    ListReading out;
    const QStringView v = QStringView(value).left(kMaxSplit);
    const qsizetype n = v.size();
    // best[i]: the most characters of v[i..] that users' IDs can cover, pieces not overlapping.
    std::vector<qsizetype> best(std::size_t(n) + 1, 0);
    for (qsizetype i = n - 1; i >= 0; --i) {
        qsizetype b = best[std::size_t(i) + 1];
        for (const qsizetype len : users.lengths()) {
            if (i + len <= n && len + best[std::size_t(i + len)] > b &&
                !users.usersWithId(v.sliced(i, len)).isEmpty()) {
                b = len + best[std::size_t(i + len)];
            }
        }
        best[std::size_t(i)] = b;
    }
    for (qsizetype i = 0; i < n;) {
        qsizetype taken = 0;
        for (const qsizetype len : users.lengths()) {
            if (i + len <= n && len > taken && len + best[std::size_t(i + len)] == best[std::size_t(i)] &&
                !users.usersWithId(v.sliced(i, len)).isEmpty()) {
                taken = len;
            }
        }
        if (taken > 0) {
            const QList<int> owners = users.usersWithId(v.sliced(i, taken));
            out.pieces.push_back({i, i + taken, owners});
            out.named.insert(out.named.end(), owners.begin(), owners.end());
            i += taken;
        } else if (!out.pieces.empty() && out.pieces.back().users.isEmpty() && out.pieces.back().to == i) {
            out.pieces.back().to = ++i; // unknown text goes on
        } else {
            out.pieces.push_back({i, i + 1, {}});
            ++i;
        }
    }

    // What a read gives: the first 126 characters, with the blank the rights load appends.
    const QString read = value.left(IniLib::kMaxValueLength) + QLatin1Char(' ');
    QSet<int> found;
    for (const int user : users.usersIn(read)) {
        if (users.uniqueId(user).isEmpty()) {
            continue;
        }
        found.insert(user);
    }
    QSet<int> named;
    for (const int user : out.named) {
        if (named.contains(user)) {
            continue; // named twice
        }
        named.insert(user);
        if (!found.contains(user)) {
            out.cut.push_back(user);
        }
    }
    for (const int user : found) {
        if (!named.contains(user)) {
            out.unnamed.push_back({user, read.indexOf(users.uniqueId(user))});
        }
    }
    std::sort(out.unnamed.begin(), out.unnamed.end(),
              [](const ListReading::Found& a, const ListReading::Found& b) {
                  return a.at < b.at || (a.at == b.at && a.user < b.user);
              });
    return out;
}

const ListPiece* pieceAt(const ListReading& reading, qsizetype at) {
    const auto it = std::upper_bound(reading.pieces.begin(), reading.pieces.end(), at,
                                     [](qsizetype x, const ListPiece& piece) { return x < piece.to; });
    return it != reading.pieces.end() && at >= it->from ? &*it : nullptr;
}

} // namespace qm::report
