/* The dispatch identities of the control's members and events. The type library's IDL
   and the C++ both include this file, so the two cannot drift apart. */
#ifndef TAVO_CONTROL_TAVO_DISPIDS_H
#define TAVO_CONTROL_TAVO_DISPIDS_H

/* _DTavo */
#define DISPID_TAVO_SUMMARYFILE 1
#define DISPID_TAVO_RESULTFILE 2
#define DISPID_TAVO_WORKDIRECTORY 3
#define DISPID_TAVO_INFO 4
#define DISPID_TAVO_GOO 5
#define DISPID_TAVO_CHOKI 6
#define DISPID_TAVO_PAH 7
#define DISPID_TAVO_START 8
#define DISPID_TAVO_END 9
#define DISPID_TAVO_MASTER 10
#define DISPID_TAVO_INIT 11
#define DISPID_TAVO_ABOUTBOX (-552) /* the stock DISPID_ABOUTBOX */

/* _DTavoEvents */
#define DISPID_TAVOEVENT_SUMMARYUPDATED 1
#define DISPID_TAVOEVENT_NEWGAMESTARTED 2
#define DISPID_TAVOEVENT_RESULTUPDATED 3
#define DISPID_TAVOEVENT_END 4

#endif
