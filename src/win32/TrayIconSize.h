#pragma once

// The side in pixels of the tray icon at a screen's DPI: the small-icon size the system names for that DPI
// (smallIconMetric, 0 when the system cannot say), otherwise 16 pixels scaled from 96 DPI (96 when dpi is 0
// or less), never below 16.
int TrayIconSide(int dpi, int smallIconMetric);
