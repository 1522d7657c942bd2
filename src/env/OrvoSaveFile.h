#pragma once

class QSaveFile;

// Ends a QSaveFile write. QSaveFile::commit() flushes what is still buffered itself, but answers
// true when that last flush fails (a full disk, a file-size limit) and puts the cut-off file in
// place. So the flush is made and checked first; when it fails nothing is committed, the
// target stays as it was, and the file's errorString() says why.
bool commitSaveFile(QSaveFile &file);
