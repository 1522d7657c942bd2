#pragma once

#include "psf14/OrvoPSFValues.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QPointer>
#include <QSet>
#include <QVector>
#include <QtGlobal>

// A data area of a PSF 1.4 section whose records are reached through links: byte offsets from
// the area's start that come from device bytes. Every record loaded claims the bytes it
// covers, and a record is handed at most the bytes not yet claimed, so links that overlap,
// loop or run wild can never build more records than the area holds.
class OrvoPSFLinkedArea
{
public:
    OrvoPSFLinkedArea() = default;
    explicit OrvoPSFLinkedArea(const QByteArray &bytes);

    const QByteArray &bytes() const;
    qsizetype unclaimed() const;

    // The bytes from link to the end of the area, cut to the unclaimed amount; empty when the
    // link lies outside the area or fewer than minSize bytes are left.
    QByteArrayView recordAt(quint32 link, qsizetype minSize) const;
    // Marks n bytes as used by a loaded record.
    void claim(qsizetype n);

    // Loads a chain of records from the link first: make builds a record from its bytes (at
    // least headerSize of them), and next gives the link to the following one. The chain ends
    // at its end marker (0xCDCDCDCD too when cdEndsChain), and, with a warning, at a link that
    // lies outside the area or was visited before, or once the area is used up.
    template<typename Record, typename Make>
    QVector<QPointer<Record>> loadChain(quint32 first, bool cdEndsChain, qsizetype headerSize, Make make,
                                        quint32 (Record::*next)() const)
    {
        QVector<QPointer<Record>> records;
        QSet<quint32> visited;
        for (quint32 link = first; !isChainEnd(link, cdEndsChain);) {
            if (!enter(visited, link, headerSize))
                break;
            Record *record = make(recordAt(link, headerSize));
            claim(record->loadedSize());
            records.append(record);
            link = (record->*next)();
        }
        return records;
    }

private:
    // True when a chain may go on to link; otherwise tells why it stops.
    bool enter(QSet<quint32> &visited, quint32 link, qsizetype headerSize) const;

    QByteArray m_bytes;
    qsizetype m_unclaimed = 0;
};
