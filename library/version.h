/* version.h: the names and versions of the product, in one place for the library's texts
 * and the Windows version resources. Plain preprocessor text, so resource scripts can
 * include it. */
#ifndef KORVALE_VERSION_H
#define KORVALE_VERSION_H

#define KORVALE_FULL_NAME "Korvale"
#define KORVALE_SHORT_NAME "DUDO66413_2011-11"
#define KORVALE_VERSION "1.0.20120528"
/* The same as four 16-bit numbers, for the version records of the other files. */
#define KORVALE_VERSION_NUMBERS 1, 0, 2012, 528
#define KORVALE_INFO_HEADER KORVALE_FULL_NAME " [" KORVALE_VERSION "]"

/* The program file's version record. */
#define KORVALE_FILE_VERSION_NUMBERS 1, 0, 2011, 11
#define KORVALE_FILE_VERSION "1.0.2011.11"
#define KORVALE_PRODUCT_VERSION "1.0.0.0"
#define KORVALE_COMPANY "---"

#endif /* KORVALE_VERSION_H */
