#pragma once
// Settings values are bytes; the window shows them as text. A value that is
// not UTF-8 (a settings file carried over from a Windows machine, with
// Windows-1251 paths) shows with replacement characters, and turning that
// text back into bytes would change the value although the user changed
// nothing. So the window keeps the original bytes beside the text it shows
// and hands them back unchanged as long as the text is unchanged.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <string>

// The text a value shows (UTF-8, broken sequences replaced).
QString ShownText(const std::string& bytes);
// The bytes to keep beside a list entry (as its item data).
QVariant OriginalBytes(const std::string& bytes);
// The value for `shown`: the original bytes while `shown` is still the text
// they show, else the UTF-8 of `shown`. An `original` that holds no bytes
// counts as none.
std::string BytesOf(const QString& shown, const std::string& original);
std::string BytesOf(const QString& shown, const QVariant& original);
