#pragma once
// Numbered notifications posted to windows (WM_APP + n), shared by poster and handler.

#include <cstdint>

constexpr uint32_t WM_USER = 0x0400;
constexpr uint32_t WM_APP = 0x8000;

constexpr uint32_t WM_APP_DOWNLOADDONE = WM_APP + 1;
constexpr uint32_t WM_APP_USERSPEAKING = WM_APP + 2;
constexpr uint32_t WM_APP_RESOURCEDELETED = WM_APP + 3;
constexpr uint32_t WM_APP_RESOURCELISTCHANGED = WM_APP + 4;
constexpr uint32_t WM_APP_SHOWERROR = WM_APP + 5;
constexpr uint32_t WM_APP_CHATTARGET = WM_APP + 6;
constexpr uint32_t WM_APP_BOARDUPDATED = WM_APP + 8;
constexpr uint32_t WM_APP_EXPORTPROGRESS = WM_APP + 9;
constexpr uint32_t WM_APP_UPLOADDONE = WM_APP + 10;
constexpr uint32_t WM_APP_KICKED = WM_APP + 11;
constexpr uint32_t WM_APP_BOARDRIGHT = WM_APP + 12;
constexpr uint32_t WM_APP_VOICERIGHT = WM_APP + 13;
constexpr uint32_t WM_APP_TEXTEDITDONE = WM_APP + 14;
constexpr uint32_t WM_APP_POLLRECEIVED = WM_APP + 15;
constexpr uint32_t WM_APP_USERSTATUS = WM_APP + 16;
constexpr uint32_t WM_APP_WEBLINKADDED = WM_APP + 17;
constexpr uint32_t WM_APP_SHOWBOARD = WM_APP + 18;
constexpr uint32_t WM_APP_TEXTEDITCLOSED = WM_APP + 19;
constexpr uint32_t WM_APP_ROOMENTERED = WM_APP + 20;
constexpr uint32_t WM_APP_ROOMLIST = WM_APP + 21;
constexpr uint32_t WM_APP_BOARDRIGHTSCHANGED = WM_APP + 23;
constexpr uint32_t WM_APP_BOARDLOADPROGRESS = WM_APP + 24;
constexpr uint32_t WM_APP_FLASHWINDOW = WM_APP + 25;
constexpr uint32_t WM_APP_PLAYERDOWNLOAD = WM_APP + 26;
constexpr uint32_t WM_APP_PLAYERPOSITION = WM_APP + 27;
constexpr uint32_t WM_APP_BYTESSENT = WM_APP + 28;
constexpr uint32_t WM_APP_PLAYERSTOPPED = WM_APP + 29;
constexpr uint32_t WM_APP_USERLEVEL = WM_APP + 31;
constexpr uint32_t WM_APP_PANESNAPSHOTREQUEST = WM_APP + 32;
constexpr uint32_t WM_APP_PANECURSORREQUEST = WM_APP + 33;
constexpr uint32_t WM_APP_REMOTECONTROL = WM_APP + 34;
constexpr uint32_t WM_APP_RECORDINGSTATUS = WM_APP + 35;
constexpr uint32_t WM_APP_USERLISTCHANGED = WM_APP + 36;
constexpr uint32_t WM_APP_VIDEOFORMAT = WM_APP + 37;
constexpr uint32_t WM_APP_VIDEOFRAME = WM_APP + 38;
constexpr uint32_t WM_APP_USERVIDEO = WM_APP + 39;
constexpr uint32_t WM_APP_PLAYERMODE = WM_APP + 40;
constexpr uint32_t WM_APP_PLAYERBUFFERING = WM_APP + 41;
constexpr uint32_t WM_APP_PRESENTATIONUPLOADED = WM_APP + 42;
constexpr uint32_t WM_APP_RESOURCEREMOVED = WM_APP + 43;
constexpr uint32_t WM_APP_STARTTEXTEDIT = WM_APP + 44;
constexpr uint32_t WM_APP_REQUESTRIGHTS = WM_APP + 45;
constexpr uint32_t WM_APP_AUDIOSTATE = WM_APP + 46;
constexpr uint32_t WM_APP_CONNECTIONLOST = WM_APP + 47;
constexpr uint32_t WM_APP_AUDIOSETTINGFAILED = WM_APP + 49;
constexpr uint32_t WM_APP_PLAYBACKSTARTED = WM_APP + 50;
constexpr uint32_t WM_APP_HOOKKEY = WM_APP + 51;
constexpr uint32_t WM_APP_CHATPERMISSION = WM_APP + 53;
constexpr uint32_t WM_APP_BREAKOUTUSERMOVED = WM_APP + 55;
constexpr uint32_t WM_APP_BREAKOUTROOMREFRESH = WM_APP + 56;
constexpr uint32_t WM_APP_NOTESPERMISSION = WM_APP + 57;
constexpr uint32_t WM_APP_MICLEVEL = WM_APP + 58;
constexpr uint32_t WM_APP_SPEAKERLEVEL = WM_APP + 59;
// The recording's download over HTTP passed its cap and was stopped; wParam = the cap in bytes.
constexpr uint32_t WM_APP_PLAYERDOWNLOADCAPPED = WM_APP + 60;

constexpr uint32_t WM_USER_PRINTJOBDONE = WM_USER + 1;
