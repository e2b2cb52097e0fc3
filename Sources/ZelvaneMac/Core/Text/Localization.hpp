#pragma once

#include <QString>

namespace zelvane {

// Every fixed text a user sees is looked up with its English text as the key; paths, names and
// numbers are filled in after the lookup. Without a loaded table the key itself is the text.
QString localized(const char* englishKey);

// "%@" placeholders filled in order.
QString fillPlaceholders(QString format, std::initializer_list<QString> values);

}  // namespace zelvane
