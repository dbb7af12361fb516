/* Compiled as C: the public header must stand on its own there. */
#include "inivault.h"

int inivault_c_roundtrip(void) {
  char text[] = "ABCDEFGHIJ";
  inivault_string s;
  int ok;
  ClearINIFile();
  SetValueInteger("c", "n", 12);
  ok = GetValueInteger("c", "n") == 12 && GetNumberofINIKeys() == 1;
  s = GetValueString("c", "n");
  ok = ok && s != 0 && s[0] == u'1' && s[1] == u'2' && s[2] == 0;
  FreeString(s);
  FreeString(SCr(text, "key"));
  FreeString(SDe(text, "key"));
  ok = ok && text[0] == 'A' && text[9] == 'J';
  ok = ok && Delete_Value("c", "n") && Delete_Sektion("c") && GetNumberofINIValues("c") == -1;
  return ok;
}
