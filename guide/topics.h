/* topics.h: the context numbers of the user guide's pages, for programs that open a page of
 * Korvale.chm directly (Tavisk's launchHelpByTopicID). Korvale.hhp maps each to its page. */
#ifndef KORVALE_GUIDE_TOPICS_H
#define KORVALE_GUIDE_TOPICS_H

#define IDH_CONTENTS 1000
#define IDH_GETTING_STARTED 1010
#define IDH_WINDOW 1020
#define IDH_CHECKING 1030
#define IDH_STAMPING 1040
#define IDH_RESULTS 1050
#define IDH_COMMAND_LINE 1060
#define IDH_BATCH 1070
#define IDH_EXIT_STATUSES 1080
#define IDH_LIBRARY 1090
#define IDH_INSTALLING 1100

#endif
