#pragma once

// The naming and password rules of a Windows server, as plain functions.

#include <QStringView>

namespace orvane::embedded {

// A local account name: 1 to 20 characters, none of " / \ [ ] : ; | = , + * ? < >
// or a control character, and not made of dots and spaces alone.
bool isValidAccountName(QStringView name);

// The default "password must meet complexity requirements" rule: characters of
// at least three classes (upper case, lower case, digits, letters without case,
// anything else), and not the account name inside it when that name has three
// or more characters, letter case ignored.
bool meetsPasswordComplexity(QStringView password, QStringView accountName);

// A share name: 1 to 80 characters, none of " / \ [ ] : | < > + = ; , ? * or a
// control character.
bool isValidShareName(QStringView name);

} // namespace orvane::embedded
