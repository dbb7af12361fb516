/* Links Inivault.dll through its import library, as a C program would. */
#include <stdio.h>
#include <windows.h>
/* after windows.h, which it needs */
#include <oleauto.h>

#include "inivault.h"

int main(void) {
  BSTR s;
  int ok;
  ClearINIFile();
  SetValueInteger("Konfig", "interval", -7);
  SetValueString("Konfig", "name", " 42abc");
  s = GetValueString("Konfig", "interval");
  ok = s != NULL && SysStringLen(s) == 2 && s[0] == L'-' && s[1] == L'7';
  SysFreeString(s);
  ok = ok && GetValueInteger("Konfig", "name") == 42 && GetNumberofINIKeys() == 1 &&
       GetNumberofINIValues("Konfig") == 2 && GetNumberofINIValues("none") == -1;
  printf("import link: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
