#pragma once
// The C run-time functions the engine binds, as (slot, exported symbol).
#define TOVRELA_MYUTIL_ENTRY_POINTS(X) \
    X(my_fprintf, fprintf)             \
    X(my_snprintf, snprintf)           \
    X(my_fopen, fopen)                 \
    X(my_ftell, ftell)                 \
    X(my_fread, fread)                 \
    X(my_fseek, fseek)                 \
    X(my_fclose, fclose)
