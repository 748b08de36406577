#pragma once

#include <QByteArray>
#include <QStringList>

namespace pbx {

/*
 * Splits text into lines the way the record list is filled: a line ends at CR LF, at a lone CR or
 * at a lone LF; line ends are not kept; a line end at the very end of the text adds no empty line
 * after it. Every byte becomes the character of the same code (Latin-1), so writing a line back
 * with QString::toLatin1() gives exactly the bytes read. Empty input gives an empty list.
 */
QStringList splitRecordLines(const QByteArray &text);

/*
 * Loads the sample call records from the resource ":/CRECORDS_TXT" (registering the library's
 * resources first). Returns the lines in resource order, trailing blanks included, or an empty
 * list when the resource cannot be read.
 */
QStringList loadCallRecords();

} // namespace pbx
