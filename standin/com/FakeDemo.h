#pragma once

// The fake ACT!'s demo database: the same fields, slots and users as the ACT! stand-in's demo
// database (standin/demo.sql), so that the tool shows and writes the same under Wine as on Linux.
// Plain data, no Windows header: a Linux test compares it with the stand-in's database.

#include <cstdint>

namespace fakeact::demo {

struct DemoSlot {
    std::int32_t id; // -1: an empty slot
    const wchar_t* label;
    std::int32_t entryRule;
};

struct DemoUser {
    const wchar_t* name;
    std::int32_t security;
    const wchar_t* access;
    const wchar_t* uniqueId;
};

inline constexpr wchar_t kDatabasePath[] = L"C:\\ACT\\Database\\Demo.dbf";

inline constexpr DemoSlot kSlots[] = {
    {112, L"Company", 0},
    {101, L"Contact", 0},
    {117, L"Phone", 0},
    {-1, L"", 0},
    {130, L"Title", 0},
    {141, L"Address 1", 0},
    {143, L"City", 0},
    {-1, L"", 0},
    {210, L"Account Number", 3},
    {144, L"State", 0},
    {145, L"Zip", 0},
    {215, L"Credit Limit", 3},
    {-1, L"", 0},
    {-1, L"", 0},
    {220, L"Region", 3},
    {150, L"E-mail", 0},
    {231, L"Customer Since", 3},
    {237, L"", 3},
    {118, L"Fax", 0},
    {-1, L"", 0},
    {8, L"Region", 3},
    {240, L"Sales Rep", 3},
    {152, L"Web Site", 0},
    {160, L"ID/Status", 0},
    {245, L"Contract Type", 3},
    {-1, L"", 0},
    {161, L"Referred By", 0},
    {250, L"Tax ID", 3},
    {162, L"Last Results", 0},
    {253, L"Discount %", 3},
    {146, L"Country", 0},
    {-1, L"", 0},
    {21, L"Territory", 3},
    {119, L"Mobile Phone", 0},
    {102, L"Salutation", 0},
    {260, L"Account Manager", 3},
    {170, L"Cat\u00e9gorie", 0},
    {171, L"User 2", 0},
    {-1, L"", 0},
    {180, L"Birth Date", 0},
};

inline constexpr DemoUser kUsers[] = {
    {L"Ann Archer", 3, L"2", L"{USR-0001-5E2A}"},  {L"Bruno Castillo", 5, L"1", L"{USR-0002-C7D1}"},
    {L"Chen Wei", 4, L"1", L"{USR-0003-19B4}"},    {L"Dana O'Neil", 3, L"2", L"{USR-0004-E08F}"},
    {L"Emil Novak", 2, L"3", L"{USR-0005-7A63}"},  {L"Farah Haddad", 1, L"3", L"{USR-0006-D25C}"},
    {L"Greta Lind", 3, L"2", L"{USR-0007-4B9E}"},  {L"Hugo Martin", 3, L"2", L"{USR-0008-A1F0}"},
    {L"Ines Duarte", 4, L"1", L"{USR-0009-3C77}"},
};

// As ACT! opens it: the first administrator is the current user, standing in the first
// protected field.
inline constexpr std::int32_t kCurrentUser = 2;
inline constexpr std::int32_t kCurrentField = 210;

} // namespace fakeact::demo
