#pragma once

#include "engine/CharTable.h"
#include "engine/GenerationSettings.h"

namespace tessivo {

// Generation settings held as plain values, starting from the values the window shows after
// start-up, with the active table kept in step with Contrast. The command-line tool runs on
// these; tests use them too.
class SettingValues : public GenerationSettings {
public:
    SettingValues();

    int sampleX() const override { return m_sampleX; }
    int sampleY() const override { return m_sampleY; }
    int colorLevel() const override { return m_colorLevel; }
    int ignoreValue() const override { return m_ignoreValue; }
    int pictureFit() const override { return m_pictureFit; }
    bool removeBlankLines() const override { return m_removeBlankLines; }
    const QStringList& charTable() const override { return m_tables.active(); }

    int contrast() const { return m_contrast; }
    int runEfficiency() const { return m_runEfficiency; }
    CharTables& tables() { return m_tables; }

    void setSampleX(int v) { m_sampleX = v; }
    void setSampleY(int v) { m_sampleY = v; }
    void setColorLevel(int v) { m_colorLevel = v; }
    void setIgnoreValue(int v) { m_ignoreValue = v; }
    void setPictureFit(int v) { m_pictureFit = v; }
    void setRemoveBlankLines(bool on) { m_removeBlankLines = on; }
    void setRunEfficiency(int v) { m_runEfficiency = v; }
    // Sets Contrast and rebuilds the active table from the loaded one.
    void setContrast(int v);
    // Replaces the loaded table (an imported table file) and rebuilds the active table.
    void setLoadedTable(const QStringList& rows);

private:
    CharTables m_tables;
    int m_sampleX;
    int m_sampleY;
    int m_colorLevel;
    int m_ignoreValue;
    int m_pictureFit;
    int m_contrast;
    int m_runEfficiency;
    bool m_removeBlankLines = false;
};

} // namespace tessivo
