/* Stand-ins for the system user database: libisofs only maps owner names, which a Windows image never
 * carries. */
#pragma once
struct group {
    char* gr_name;
    short gr_gid;
};
static inline struct group* getgrnam(const char* n) {
    (void)n;
    return 0;
}
static inline struct group* getgrgid(short g) {
    (void)g;
    return 0;
}
static inline int getgrgid_r(short g, struct group* p, char* b, unsigned long n, struct group** r) {
    (void)g;
    (void)p;
    (void)b;
    (void)n;
    *r = 0;
    return 0;
}
static inline int getgrnam_r(const char* s, struct group* p, char* b, unsigned long n, struct group** r) {
    (void)s;
    (void)p;
    (void)b;
    (void)n;
    *r = 0;
    return 0;
}
