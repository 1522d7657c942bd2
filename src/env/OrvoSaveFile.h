#pragma once

class QByteArray;
class QSaveFile;
class QString;

// Ends a QSaveFile write. QSaveFile::commit() flushes what is still buffered itself, but answers
// true when that last flush fails (a full disk, a file-size limit) and puts the cut-off file in
// place. So the flush is made and checked first; when it fails nothing is committed, the
// target stays as it was, and the file's errorString() says why.
bool commitSaveFile(QSaveFile &file);

// Replaces the file at path with bytes in one step: the old file stays whole unless every byte
// reached the disk. On failure error says why.
bool saveFileBytes(const QString &path, const QByteArray &bytes, QString &error);
