#pragma once
// The 16 smiley pictures of the chat, drawn by us (never blank), and their names as document
// resources.

#include <QImage>
#include <QUrl>

namespace orb::room {

constexpr int kSmileyPixels = 19;
// Picture n (0..15); an empty image for any other number.
QImage SmileyImage(int picture);
// "orb-smiley:n", the name a chat document knows picture n by.
QUrl SmileyUrl(int picture);
// The picture a resource name stands for, -1 when it is none of ours.
int SmileyFromUrl(const QString& name);
// The picture as PNG bytes (for the RTF export).
QByteArray SmileyPng(int picture);

}  // namespace orb::room
