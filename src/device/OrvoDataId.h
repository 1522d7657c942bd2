#pragma once

// The kinds of items that the batch overview of a device can gather, in the order the caller
// selects them. Other values (9, 10 and 14 among them) are accepted and contribute nothing.
enum OrvoDataId : int {
    DataIdShareDataList = 8,
    DataIdDeviceOverview = 11,
    DataIdComponents = 12,
    DataIdProfile = 13,
    DataIdLanguages = 15,
};
