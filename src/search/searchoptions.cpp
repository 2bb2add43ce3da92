#include "app/form1.h"
#include "ui_form1.h"

void Form1::MenuSearchAuthor_Click() {}
void Form1::MenuSearchBody_Click() {}
void Form1::MenuSearchTitle_Click() {}
void Form1::MenuKeyPreface_Click() {}
void Form1::MenuKeyAppend_Click() {}
void Form1::MenuKeyBracket_Click() {}
void Form1::MenuKeyNone_Click() {}
void Form1::MenuOptionsInterrupt_Click() {}
