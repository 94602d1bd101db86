#pragma once

#include "platform/NETUSER.h"

#include <QString>

namespace orvane::ui {

// The record of one account creation: an ordinary user whose password does
// not expire. It points into the two texts, which must outlive it.
inline USER_INFO_1 accountRecord(QString& name, QString& password) {
    USER_INFO_1 record{};
    record.usri1_name = reinterpret_cast<LPWSTR>(name.data());
    record.usri1_password = reinterpret_cast<LPWSTR>(password.data());
    record.usri1_password_age = 0;
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_home_dir = nullptr;
    record.usri1_comment = nullptr;
    record.usri1_flags = UF_DONT_EXPIRE_PASSWD;
    record.usri1_script_path = nullptr;
    return record;
}

} // namespace orvane::ui
