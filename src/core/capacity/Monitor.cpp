#include "core/capacity/Monitor.h"

#include <climits>
#include <utility>

Monitor::Monitor(Platform& platform, std::string configurationPath)
    : m_platform(platform), m_file(platform, std::move(configurationPath)), m_publication(platform) {}

std::string Monitor::LoadSettings(const ListenerStart& startListening) {
    m_startedAt = m_platform.UnixTime();
    m_settings = m_file.Load(startListening);
    m_minuteCounter = m_settings.Time;
    m_publication.StartFrom(m_settings);
    return m_settings.Directory;
}

bool Monitor::ReloadSettings() {
    std::optional<MonitorSettings> read = m_file.Reload();
    if (!read) {
        return false;
    }
    // The status files stay where this run published them, under the names they have, so the next refresh
    // moves them from there to the folders read now, as after a change in the settings dialog.
    read->Filename = std::move(m_settings.Filename);
    read->Filename2To10 = std::move(m_settings.Filename2To10);
    m_settings = std::move(*read);
    m_minuteCounter = m_settings.Time;

    MeasureMainDrive();
    FormatTexts();
    if (WindowOpen()) {
        m_dialog->PushToControls();
    }
    NotifyChange();
    return true;
}

void Monitor::SaveSettings() {
    m_file.Save(m_settings);
    m_minuteCounter = 0;
}

void Monitor::CountMinute() {
    if (m_minuteCounter < INT_MAX) {
        ++m_minuteCounter;
    }
}

const DriveOutlook* Monitor::OutlookOf(std::string_view letter) const {
    if (letter.size() != 1) {
        return nullptr;
    }
    const char c = letter[0] >= 'a' && letter[0] <= 'z' ? static_cast<char>(letter[0] - 'a' + 'A') : letter[0];
    const auto found = m_outlooks.find(c);
    return found == m_outlooks.end() ? nullptr : &found->second;
}

void Monitor::AttachDialog(DialogExchange* dialog) {
    m_dialog = dialog;
    NotifyChange();
}

void Monitor::NotifyChange() {
    if (m_changed) {
        m_changed();
    }
}

void Monitor::MeasureMainDrive() {
    MeasureMainDrive(true);
}

void Monitor::OpeningMeasurement() {
    MeasureMainDrive(false);
}

void Monitor::MeasureMainDrive(bool nameEmptyDirectory) {
    CapacityFigures figures;
    bool fallBack = m_settings.Directory.empty();
    if (!fallBack) {
        figures = ReadCapacity(m_platform, m_settings.Directory + ":\\");
        fallBack = !figures.ok;
    }
    if (fallBack) {
        // The figure is that of the letter stored, so the page never names one drive and shows another's
        // figure (the current directory can sit on a volume that has no letter of its own). Without a
        // letter the current directory's volume is measured. A failing query leaves zero figures.
        const std::string letter = m_platform.CurrentDriveLetter();
        figures = letter.empty() ? ReadCapacity(m_platform, std::nullopt) : ReadCapacity(m_platform, letter + ":\\");
        if (!m_settings.Directory.empty() || nameEmptyDirectory) {
            m_settings.Directory = letter;
        }
    }
    m_reading.freeMB = figures.freeMB;
    m_reading.totalMB = figures.totalMB;
    m_reading.usedMB = figures.usedMB;
}

void Monitor::FormatTexts() {
    CapacityTexts texts = FormatCapacityTexts(m_reading.freeMB, m_reading.totalMB, m_reading.usedMB, m_settings.GByte);
    m_reading.usedText = std::move(texts.usedText);
    m_reading.totalText = std::move(texts.totalText);
    m_reading.freeText = std::move(texts.freeText);
}

void Monitor::RefreshCycle(RefreshTrigger trigger) {
    ++m_refreshCounts[static_cast<std::size_t>(trigger)];
    if (WindowOpen()) {
        // A failed validation has shown its message; the cycle goes on with what was taken.
        static_cast<void>(m_dialog->PullFromControls());
    }
    MeasureMainDrive();
    FormatTexts();
    if (WindowOpen()) {
        m_dialog->PushToControls();
    }
    m_publication.PublishMainDrive(m_settings, m_reading.freeText);
    if (m_settings.OtherDrive == 1) {
        m_publication.RefreshOtherDrives(m_settings, m_settings.GByte);
    }
    m_publication.ReportPublications();
    SaveSettings();
    if (m_settings.Keikoku == 1 && m_reading.freeMB < m_settings.Nokori) {
        RaiseWarning();
    }
    if (WindowOpen()) {
        m_dialog->PushToControls();
    }
    NotifyChange();
}
