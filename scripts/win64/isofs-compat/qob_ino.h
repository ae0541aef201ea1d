#ifndef QOB_ISOFS_INO_H
#define QOB_ISOFS_INO_H
/* mingw-w64's ino_t has 16 bits. libisofs tells files apart by (filesystem, device, inode) and
   stores one copy of the bytes of files that agree, so two files whose file indexes agree in their
   low 16 bits would share one content. libisofs and every caller of its API therefore see a 64-bit
   ino_t; the installed libisofs.h includes this first. */
#include <sys/types.h>
typedef unsigned long long qob_isofs_ino_t;
#define ino_t qob_isofs_ino_t
#endif
