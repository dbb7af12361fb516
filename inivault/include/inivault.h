/*
 * Inivault: one in-memory INI document per process, read from and written to a
 * settings file, plus a cipher that scrambles strings and files.
 *
 * Texts passed in are zero-terminated byte strings in the ANSI code page
 * (Windows-1252 on platforms without one). Booleans are one byte, 1 or 0.
 *
 * String results are newly allocated and belong to the caller:
 *   Windows: a BSTR (UTF-16), release it with SysFreeString.
 *   elsewhere: a zero-terminated char16_t string, release it with FreeString.
 * A null result means the string could not be allocated.
 *
 * The library has no locks: call it from one thread at a time.
 */
#ifndef INIVAULT_H
#define INIVAULT_H

#include <stdint.h>

#if defined(_WIN32)
#include <stddef.h> /* wchar_t */
#define INIVAULT_CALL __stdcall
#define INIVAULT_API
typedef wchar_t* inivault_string; /* a BSTR */
#else
#ifndef __cplusplus
#include <uchar.h>
#endif
#define INIVAULT_CALL
#if defined(__GNUC__)
#define INIVAULT_API __attribute__((visibility("default")))
#else
#define INIVAULT_API
#endif
typedef char16_t* inivault_string;
#endif

typedef unsigned char inivault_bool;

#ifdef __cplusplus
extern "C" {
#endif

/* Stores the path (WriteINIFile writes there), then merges the file into the
   document; scrambled files are unscrambled with the built-in key. 0 when the
   file cannot be read or is no regular file (a pipe or device is not opened, so
   the call cannot block); the path is kept all the same. */
INIVAULT_API inivault_bool INIVAULT_CALL ReadINIFile(const char* path);
/* 1 after a complete write to the stored path, 0 otherwise. An existing file is
   left untouched (result 0) when it is no regular file or the caller may not write
   it: no write permission, or no write bit set at all (this holds for root too),
   or the read-only attribute on Windows. Otherwise the new text goes to a temporary
   file beside it that then takes its place, keeping its mode and owner, so a failed
   write leaves the old file intact. Only when that cannot keep the file whole (it
   has further hard links, its owner cannot be kept, or the folder refuses new
   files) is it overwritten in place, and only after room for the whole new text
   was reserved: a full disk then refuses the write with the old file intact. The
   remaining risk: an I/O error or a crash during that in-place overwrite can leave
   the file part-written. */
INIVAULT_API inivault_bool INIVAULT_CALL WriteINIFile(void);
/* Removes every section; the stored path stays. Always 1. */
INIVAULT_API inivault_bool INIVAULT_CALL ClearINIFile(void);

/* Number of sections. */
INIVAULT_API int32_t INIVAULT_CALL GetNumberofINIKeys(void);
/* Number of pairs in the section, -1 when there is no such section. */
INIVAULT_API int32_t INIVAULT_CALL GetNumberofINIValues(const char* section);
/* The value's leading decimal integer; 0 when missing or not a number. */
INIVAULT_API int32_t INIVAULT_CALL GetValueInteger(const char* section, const char* name);
/* The value; the empty string when missing. */
INIVAULT_API inivault_string INIVAULT_CALL GetValueString(const char* section, const char* name);

/* Setters create the section and the name as needed; always 1. */
INIVAULT_API inivault_bool INIVAULT_CALL SetValueInteger(const char* section, const char* name,
                                                         int32_t value);
INIVAULT_API inivault_bool INIVAULT_CALL SetValueString(const char* section, const char* name,
                                                        const char* value);
/* Deleters return 1 whether or not there was something to delete. */
INIVAULT_API inivault_bool INIVAULT_CALL Delete_Value(const char* section, const char* name);
INIVAULT_API inivault_bool INIVAULT_CALL Delete_Sektion(const char* section);

/* Scramble / unscramble the text in place (complete 8-byte blocks only) and
   return the result up to its first zero byte. An empty key changes nothing. */
INIVAULT_API inivault_string INIVAULT_CALL SCr(char* text, const char* key);
INIVAULT_API inivault_string INIVAULT_CALL SDe(char* text, const char* key);
/* Scramble / unscramble a file in place, written back as WriteINIFile writes. 0 on
   failure or an empty key, the file then unchanged (except after a failed in-place
   overwrite, as described there). */
INIVAULT_API inivault_bool INIVAULT_CALL FC(const char* path, const char* key);
INIVAULT_API inivault_bool INIVAULT_CALL FD(const char* path, const char* key);

#if !defined(_WIN32)
/* Releases a string result of this library; null is allowed. */
INIVAULT_API void INIVAULT_CALL FreeString(inivault_string text);
#endif

#ifdef __cplusplus
}
#endif

#endif /* INIVAULT_H */
