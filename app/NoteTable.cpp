#include "app/NoteTable.h"
