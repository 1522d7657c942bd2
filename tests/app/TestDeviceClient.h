#pragma once

#include "OrvoGatedClient.h"

#include <QStringList>
#include <QVector>

// A device client for the scripting tests: the gated client with an identity the test sets and
// the listings and deletions that answer at once.
namespace AppTest {

using OrvoTest::kPatienceMs;

class TestDeviceClient : public OrvoTest::GatedClient
{
public:
    QString model = QStringLiteral("Kavel50");
    bool valid = true;
    int serviceType = 0;
    QString drive = QStringLiteral("/media/u/KAVEL");
    QString uuid = QStringLiteral("0042-7");
    QString total = QStringLiteral("3.1.0");
    QString launchsec = QStringLiteral("1.4");
    QString ap = QStringLiteral("3.1.2");
    QString bootloader = QStringLiteral("0.9.1");
    QString capability = QStringLiteral("route,workout");
    QVector<OrvoClientData> tracks;

    bool getName(QString &name) override
    {
        name = model;
        return !model.isEmpty();
    }
    bool isValid() override { return valid; }
    int deviceServiceType() override { return serviceType; }
    bool getDrive(QString &text) override { return answer(text, drive); }
    bool getUUID(QString &text) override { return answer(text, uuid); }
    bool getTotal(QString &text) override { return answer(text, total); }
    bool getLaunchsec(QString &text) override { return answer(text, launchsec); }
    bool getAP(QString &text) override { return answer(text, ap); }
    bool getBootloader(QString &text) override { return answer(text, bootloader); }
    QString getCapability() override { return capability; }

    void getTracks(QVector<OrvoClientData> &items) override
    {
        record(QStringLiteral("getTracks"));
        items = tracks;
    }
    bool deleteTracks(const QVector<int> &ids) override
    {
        QStringList texts;
        for (int id : ids)
            texts << QString::number(id);
        record(QStringLiteral("deleteTracks ") + texts.join(QLatin1Char(',')));
        return result;
    }
    bool deleteAll() override
    {
        record(QStringLiteral("deleteAll"));
        return result;
    }
    bool eject() override
    {
        record(QStringLiteral("eject"));
        return result;
    }

private:
    static bool answer(QString &text, const QString &value)
    {
        text = value;
        return !value.isEmpty();
    }
};

} // namespace AppTest
