#pragma once

// The GAL device library: plain C functions that serve a GAL device kept in a folder. Texts
// are 8-bit, zero-terminated, and read from fixed buffers of the sizes below; an integer result
// of 0 means failure. The library keeps one home path for the whole process (SetHomePath), so
// one device at a time is served; callers set it again before each listing, read or delete.
// Every entry point may be called from any thread; each runs under the library's own lock.
//
// The device folder (the home path):
//
//   Activity/<yyMMddHHmmss>.gal   one recorded activity, little-endian:
//       0     88    activity header: 4 flags (bit 1 no name stored, bit 4 uploaded),
//                   5 activity type (low 4 bits), 62 name length (u16, bytes),
//                   72 name (up to 16 bytes of 8-bit text, not terminated)
//       88    56    summary lap: 0 start, 4 end (u32 seconds since 1970-01-01 UTC),
//                   8 distance (u32, metres)
//       144   4     track point count n (u32)
//       148   16·n  track points: 0 time (u32 seconds since 1970 UTC), 4 latitude and
//                   8 longitude (i32 micro-degrees), 12 altitude (i16 metres),
//                   14 heart rate (u8 bpm), 15 cadence (u8 rpm)
//   Workout/<b0>_<b1>_<b2>/<name>.wkt   one workout template of the workout type whose three
//                   bytes the folder names in decimal, little-endian:
//       0     36    template: 0 time (u32 seconds since 1970 UTC, 0xFFFFFFFF none),
//                   4 workout id (u32), 12 activity type (low 4 bits; bit 5 set: the names
//                   are bit-font images), 13 workout type (bits 5 to 7), 14 sub type (low 4 bits)
//       36    2     name entry count n (u16)
//       38    …     n string records, each: 0 flags (bit 1: another record follows), 1 zero,
//                   2 payload length (u16), 4 language code (4 bytes, NUL-padded),
//                   8 image width, 10 image height (u16), 12 payload (text or 1-bit image)
//   System/profile.ini   the device profile: "key=value" lines, keys as the device names
//                   them ("Sys-langCode" holds the device language), all in [General]
//   emu.ini         what this stand-in answers where a real device decides:
//                   [EMU] UpdateProfile=<UpdateProfile's answer, default 1>
//                   [EMU] Capability=<ProjSwCapability's text; none: the call fails>
//
// Listings are sorted by name. File names given to the library are bare names; one with a
// path separator, "." or ".." is refused. Paths use the separator set by SetPathDirect ("/" by
// default).
//
// When the environment variable LUMOLIB_CALL_LOG names a file, every call appends one line to
// it: the function's name, its text and number arguments and "=" with its result, separated by
// tabs.

#include <stdint.h>

#if defined(__GNUC__)
#define LUMO_API __attribute__((visibility("default")))
#else
#define LUMO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    // Buffers of the home path, of paths and of the file names handed to the library.
    LUMO_PATH_SIZE = 256,
    // Buffers that receive a listed file name.
    LUMO_LISTED_NAME_SIZE = 260,
    LUMO_ACTIVITY_HEADER_SIZE = 88,
    LUMO_SUMMARY_LAP_SIZE = 56,
    LUMO_TEMPLATE_SIZE = 36,
    LUMO_WORKOUT_NAME_SIZE = 65536,
    LUMO_LANGUAGE_SIZE = 16,
};

// Kinds of DeleteGALFile.
enum {
    LUMO_DELETE_ACTIVITY = 30,
    // A workout of that name in any type folder.
    LUMO_DELETE_WORKOUT = 21,
    // A workout in a type folder whose second byte is 5, or 6.
    LUMO_DELETE_WORKOUT_TYPE_5 = 36,
    LUMO_DELETE_WORKOUT_TYPE_6 = 35,
};

// A workout type: three bytes, passed by value in one argument slot.
typedef struct LumoWorkoutType
{
    unsigned char byte0;
    unsigned char byte1;
    unsigned char byte2;
} LumoWorkoutType;

// The answer of ProjSwCapability: three words of the library's own (zero here) and the
// capability text, which stays valid until the next ProjSwCapability call.
typedef struct LumoCapability
{
    uint32_t word0;
    uint32_t word1;
    uint32_t word2;
    const char *text;
} LumoCapability;

// The path separator of every later path argument: "/" or "\\".
LUMO_API int SetPathDirect(const char *separator);
// The device folder, with or without a trailing separator; it must exist.
LUMO_API int SetHomePath(const char *home);

LUMO_API int GetActivityfileamount(unsigned int *count);
// index counts from 1; name is a LUMO_LISTED_NAME_SIZE buffer.
LUMO_API int GetActivityfileName(unsigned int index, char *name);
// Fill LUMO_ACTIVITY_HEADER_SIZE and LUMO_SUMMARY_LAP_SIZE bytes; size is the buffer's.
LUMO_API int GetActivityContent(const char *name, unsigned char *buffer, int size);
LUMO_API int GetSummaryLapContent(const char *name, unsigned char *buffer, int size);

LUMO_API int GetWKTFileamount(unsigned int *count, LumoWorkoutType type);
LUMO_API int GetWKTFileName(unsigned int index, char *name, LumoWorkoutType type);
LUMO_API int ReadTemplateWKT(const char *name, LumoWorkoutType type, unsigned char *buffer, int size);
// The name entry whose language code matches language (any case), else the first entry, as
// one string record with no follower. *length holds the buffer's capacity on entry and the
// record's length on return; 0 when the record does not fit.
LUMO_API int ReadWKTName(const char *name, LumoWorkoutType type, unsigned char *buffer, int *length,
                         const char *language);
// Non-zero when at least one file was deleted.
LUMO_API int DeleteGALFile(int kind, const char *name);

// Writes the profile of the device folder home into the INI file iniPath.
LUMO_API int GetProfile(const char *home, const char *iniPath);
// Takes the keys of the INI file iniPath into the profile of the device folder home.
LUMO_API int RefreshProfile(const char *home, const char *iniPath);
// 0 failure, 2 the device must synchronise its profile, any other value success.
LUMO_API unsigned char UpdateProfile(const char *deviceFolder, const char *mapPath, const char *binPath);

LUMO_API int ProjSwCapability(const char *model, LumoCapability *answer);
LUMO_API int SetModelName(const char *name);
LUMO_API int SetModelIMG(const char *image);
LUMO_API int SetModelIAP(const char *bootLoader);

#ifdef __cplusplus
}
#endif
