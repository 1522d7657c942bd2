#pragma once

#include "env/OrvoByteReader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

// The base of every PSF 1.4 record, header and frame. Each derived class parses its bytes in
// its own constructor into members, owns the records it loads (as QObject children, listed in
// vectors of guarded pointers; track points and sensor samples, the many, plainly in vectors
// their track or log deletes, and held as plain values until something asks for their
// objects) and emits its bytes again through serialize().
//
// Records are built from the bytes starting at the record and reaching to the end of the
// memory the record may use; a record reads only its own bytes, and its variable part never
// reaches past that memory.
class OrvoPSFField : public QObject
{
    Q_OBJECT

public:
    explicit OrvoPSFField(QObject *parent = nullptr);
    ~OrvoPSFField() override;

    // The record's bytes; the base has none.
    virtual QByteArray serialize() const;

    // The record length in bytes that loading loops step by; 0 where a class does not set it.
    int size() const;
    void setSize(int size);

    // Renders text into a 1-bit image for a name field of width × height pixels (rows most
    // significant bit first, ink = 1). A text too wide loses characters from its end until it
    // fits, down to 6 characters. At most capacity bytes of the image go to buffer; width and
    // height become the image's.
    static bool convertToBitfont(const QString &text, int &width, int &height, QByteArray &buffer, qsizetype capacity);

protected:
    // A checked reader over bytes that the caller keeps alive while it reads.
    static OrvoByteReader readerOf(QByteArrayView bytes);
    // How many records of recordSize bytes fit between offset and the end of an area.
    static qsizetype recordsThatFit(qsizetype areaSize, quint32 offset, qsizetype recordSize);
    // How many of a stored count of records load: no more than lie inside the image from offset
    // and no more than the area holds (capacity records), with a warning naming the limit.
    static qsizetype recordsToLoad(qsizetype stored, qsizetype bytes, quint32 offset, qsizetype recordSize,
                                   qsizetype capacity, const char *function, const char *records);
    // The bytes of an area from offset on; empty when offset lies outside.
    static QByteArrayView bytesFrom(QByteArrayView area, quint32 offset);

private:
    int m_size = 0;
};
