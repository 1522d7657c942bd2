#include "app/OrvoDeviceTypeTable.h"

#include "device/OrvoDeviceFactory.h"
#include "devices/fs/OrvoKavel50CR.h"
#include "devices/gal/OrvoGalDevice.h"
#include "devices/psf14/OrvoKavel35.h"
#include "devices/psf14/OrvoPulmor30.h"
#include "devices/psf15/OrvoPSFDevice.h"

namespace {

// Vendor texts of the family's USB drives; the first as the newer devices report it.
const QString kVendorsUpper = QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kVendors = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");

OrvoDeviceTypeTable::Row row(const char *productId, const char *model, const QString &match,
                             const OrvoDeviceInfo::Factory &factory, const char *className)
{
    return {{QLatin1String(productId), QLatin1String(model), match, factory}, className};
}

} // namespace

const QVector<OrvoDeviceTypeTable::Row> &OrvoDeviceTypeTable::rows()
{
    static const QVector<Row> table = {
        row("1207", "Kavel21", kVendorsUpper, OrvoDeviceFactory::create<OrvoGalDevice>, "OrvoGalDevice"),
        row("1206", "Kavel20plus", kVendors, OrvoDeviceFactory::create<OrvoGalDevice>, "OrvoGalDevice"),
        row("1102", "Kavel20", QStringLiteral("TREVANIS"), OrvoDeviceFactory::create<OrvoPulmor30>, "OrvoPulmor30"),
        row("1105", "Kavel40", QStringLiteral("KOSMIR"), OrvoDeviceFactory::create<OrvoPSFDevice>, "OrvoPSFDevice"),
        row("1104", "Kavel50CR", kVendors, OrvoDeviceFactory::create<OrvoKavel50CR>, "OrvoKavel50CR"),
        row("0901", "Kavel50", kVendors, OrvoDeviceFactory::create<OrvoKavel50CR>, "OrvoKavel50CR"),
        row("1103", "Pulmor35", QStringLiteral("ZUNDAR"), OrvoDeviceFactory::create<OrvoPulmor30>, "OrvoPulmor30"),
        row("1004", "Pulmor30", QStringLiteral("TESKA"), OrvoDeviceFactory::create<OrvoPulmor30>, "OrvoPulmor30"),
        row("1003", "Kavel35", QStringLiteral("QUILMA"), OrvoDeviceFactory::create<OrvoKavel35>, "OrvoKavel35"),
        row("1101", "Kavel35", QStringLiteral("QUILMA"), OrvoDeviceFactory::create<OrvoKavel35>, "OrvoKavel35"),
    };
    return table;
}
