/* A caller outside the project: only the installed header and library. Built with a
   C runtime it takes the settings file's path as its argument; with
   CONSUMER_NO_CRT (a Visual Studio style link without any runtime) it brings its own
   entry point. */
#include <inivault.h>

#if defined(_WIN32)
/* Declared here, not through windows.h, which the runtime-less build does not have. */
__declspec(dllimport) void __stdcall SysFreeString(inivault_string text);
static void release(inivault_string text) { SysFreeString(text); }
#else
static void release(inivault_string text) { FreeString(text); }
#endif

/* Compares a string result with the expected ASCII text, and releases it. */
static int is(inivault_string got, const char* want) {
  int same = got != 0;
  unsigned i = 0;
  while (same && want[i] != 0) {
    same = got[i] == (unsigned char)want[i];
    ++i;
  }
  same = same && got[i] == 0;
  release(got);
  return same;
}

static int run(const char* path) {
  int ok = 1;
  ClearINIFile();
  /* A missing file reads as nothing, but the path is kept for the write. */
  ok = ok && ReadINIFile(path) == 0;
  ok = ok && SetValueString("Konfig", "stations", "fixed-81;fixed-82") == 1;
  ok = ok && SetValueInteger("Konfig", "interval", 3) == 1;
  ok = ok && SetValueString("Alt", "gone", "x") == 1 && Delete_Sektion("Alt") == 1;
  ok = ok && WriteINIFile() == 1;
  /* Scrambled with the built-in file key, it still reads as settings. */
  ok = ok && FC(path, "MOSSVEKTRPreferences") == 1;
  ok = ok && ClearINIFile() == 1 && GetNumberofINIKeys() == 0;
  ok = ok && ReadINIFile(path) == 1;
  ok = ok && GetNumberofINIKeys() == 1 && GetNumberofINIValues("Konfig") == 2 &&
       GetNumberofINIValues("Alt") == -1;
  ok = ok && GetValueInteger("Konfig", "interval") == 3;
  ok = ok && is(GetValueString("Konfig", "stations"), "fixed-81;fixed-82");
  ok = ok && is(GetValueString("Konfig", "missing"), "");
  ok = ok && FD(path, "MOSSVEKTRPreferences") == 1;
  return ok;
}

#if defined(CONSUMER_NO_CRT)
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
void consumer_start(void) { ExitProcess(run("consumer.ini") ? 0 : 1); }
#else
#include <stdio.h>
int main(int argc, char** argv) {
  int ok;
  if (argc != 2) {
    fputs("usage: consumer SETTINGS-FILE\n", stderr);
    return 2;
  }
  ok = run(argv[1]);
  puts(ok ? "consumer: ok" : "consumer: FAILED");
  return ok ? 0 : 1;
}
#endif
