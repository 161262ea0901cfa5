<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AppCommands</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>Add Folders...</source>
        <translation>Ordner hinzufügen …</translation>
    </message>
    <message>
        <source>Remove Selected Folders</source>
        <translation>Ausgewählte Ordner entfernen</translation>
    </message>
    <message>
        <source>Auto-Tavrune New Folders on Desktop</source>
        <translation>Neue Ordner auf dem Schreibtisch automatisch gestalten</translation>
    </message>
    <message>
        <source>Remember Folders Between Sessions</source>
        <translation>Ordner zwischen Sitzungen merken</translation>
    </message>
    <message>
        <source>Ask Before Regenerating More Than 10 Icons</source>
        <translation>Vor dem Neugenerieren von mehr als 10 Symbolen fragen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Ausschneiden</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alles auswählen</translation>
    </message>
    <message>
        <source>Deselect All</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Grid View</source>
        <translation>Rasteransicht</translation>
    </message>
    <message>
        <source>List View</source>
        <translation>Listenansicht</translation>
    </message>
    <message>
        <source>Hide Inspector</source>
        <translation>Inspektor ausblenden</translation>
    </message>
    <message>
        <source>&amp;Generate</source>
        <translation>&amp;Generieren</translation>
    </message>
    <message>
        <source>Fast Mode (Gemini — seconds per icon)</source>
        <translation>Schneller Modus (Gemini – Sekunden pro Symbol)</translation>
    </message>
    <message>
        <source>Regenerate Selected</source>
        <translation>Auswahl neu generieren</translation>
    </message>
    <message>
        <source>Regenerate All</source>
        <translation>Alle neu generieren</translation>
    </message>
    <message>
        <source>Stop Generating</source>
        <translation>Generieren anhalten</translation>
    </message>
    <message>
        <source>Apply Icons to Folders</source>
        <translation>Symbole auf Ordner anwenden</translation>
    </message>
    <message>
        <source>API Key Settings...</source>
        <translation>API-Schlüssel-Einstellungen …</translation>
    </message>
    <message>
        <source>Show Inspector</source>
        <translation>Inspektor einblenden</translation>
    </message>
</context>
<context>
    <name>AppState</name>
    <message>
        <source>“%1”</source>
        <comment>a folder name in quotes</comment>
        <translation>„%1“</translation>
    </message>
    <message>
        <source>The icon file of %1 is missing</source>
        <translation>Die Symboldatei von %1 fehlt</translation>
    </message>
    <message>
        <source>Failed to apply icon to folder</source>
        <translation>Symbol konnte nicht auf den Ordner angewendet werden</translation>
    </message>
    <message>
        <source>Watching %1 — new folders get icons automatically</source>
        <translation>%1 wird beobachtet – neue Ordner erhalten automatisch Symbole</translation>
    </message>
    <message>
        <source>Folder watching turned off</source>
        <translation>Ordnerbeobachtung ausgeschaltet</translation>
    </message>
    <message>
        <source>Removed 1 folder from the list</source>
        <translation>1 Ordner aus der Liste entfernt</translation>
    </message>
    <message numerus="yes">
        <source>Removed %n folders from the list</source>
        <translation>
            <numerusform>%n Ordner aus der Liste entfernt</numerusform>
            <numerusform>%n Ordner aus der Liste entfernt</numerusform>
        </translation>
    </message>
    <message>
        <source>New Icon for %1</source>
        <translation>Neues Symbol für %1</translation>
    </message>
    <message>
        <source>Icon ready for %1</source>
        <translation>Symbol für %1 ist fertig</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>Generation failed for %1</source>
        <translation>Generieren für %1 fehlgeschlagen</translation>
    </message>
    <message>
        <source>Stopped 1 generation</source>
        <translation>1 Generierung angehalten</translation>
    </message>
    <message numerus="yes">
        <source>Stopped %n generations</source>
        <translation>
            <numerusform>%n Generierung angehalten</numerusform>
            <numerusform>%n Generierungen angehalten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Generation failed for %n folders</source>
        <translation>
            <numerusform>Generieren für %n Ordner fehlgeschlagen</numerusform>
            <numerusform>Generieren für %n Ordner fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Generated %1 of %n icons — some failed</source>
        <translation>
            <numerusform>%1 von %n Symbol generiert – einige fehlgeschlagen</numerusform>
            <numerusform>%1 von %n Symbolen generiert – einige fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Generated %n icons (%1)</source>
        <translation>
            <numerusform>%n Symbol generiert (%1)</numerusform>
            <numerusform>%n Symbole generiert (%1)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Generated %n icons</source>
        <translation>
            <numerusform>%n Symbol generiert</numerusform>
            <numerusform>%n Symbole generiert</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 is still generating</source>
        <translation>%1 wird noch generiert</translation>
    </message>
    <message>
        <source>Couldn’t apply icon to %1</source>
        <translation>Symbol konnte nicht auf %1 angewendet werden</translation>
    </message>
    <message>
        <source>Icon applied to %1</source>
        <translation>Symbol auf %1 angewendet</translation>
    </message>
    <message>
        <source>Earlier Icon for %1</source>
        <translation>Früheres Symbol für %1</translation>
    </message>
    <message numerus="yes">
        <source> — %n still generating, skipped</source>
        <translation>
            <numerusform> – %n wird noch generiert, übersprungen</numerusform>
            <numerusform> – %n werden noch generiert, übersprungen</numerusform>
        </translation>
    </message>
    <message>
        <source>No generated icons to apply yet</source>
        <translation>Noch keine generierten Symbole zum Anwenden</translation>
    </message>
    <message numerus="yes">
        <source>Applied %n folder icons — %1 will not show in every file manager</source>
        <translation>
            <numerusform>%n Ordnersymbol angewendet – %1 nicht in jeder Dateiverwaltung sichtbar</numerusform>
            <numerusform>%n Ordnersymbole angewendet – %1 nicht in jeder Dateiverwaltung sichtbar</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Applied %n folder icons</source>
        <translation>
            <numerusform>%n Ordnersymbol angewendet</numerusform>
            <numerusform>%n Ordnersymbole angewendet</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Applied %1 of %n icons — some failed, %2 will not show in every file manager</source>
        <translation>
            <numerusform>%1 von %n Symbol angewendet – einige fehlgeschlagen, %2 nicht in jeder Dateiverwaltung sichtbar</numerusform>
            <numerusform>%1 von %n Symbolen angewendet – einige fehlgeschlagen, %2 nicht in jeder Dateiverwaltung sichtbar</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Applied %1 of %n icons — some failed</source>
        <translation>
            <numerusform>%1 von %n Symbol angewendet – einige fehlgeschlagen</numerusform>
            <numerusform>%1 von %n Symbolen angewendet – einige fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n new folders on the Desktop: select them and press Ctrl+R to generate their icons</source>
        <translation>
            <numerusform>%n neuer Ordner auf dem Schreibtisch: Auswählen und Strg+R drücken, um sein Symbol zu generieren</numerusform>
            <numerusform>%n neue Ordner auf dem Schreibtisch: Auswählen und Strg+R drücken, um ihre Symbole zu generieren</numerusform>
        </translation>
    </message>
    <message>
        <source>New folder %1 — generating icon…</source>
        <translation>Neuer Ordner %1 – Symbol wird generiert …</translation>
    </message>
    <message>
        <source>%1 is no longer there</source>
        <translation>%1 ist nicht mehr vorhanden</translation>
    </message>
    <message>
        <source>1 listed folder is no longer there: skipped</source>
        <translation>1 aufgelisteter Ordner ist nicht mehr vorhanden: übersprungen</translation>
    </message>
    <message>
        <source>Edit Prompt of %1</source>
        <translation>Prompt von %1 bearbeiten</translation>
    </message>
    <message>
        <source>Apply Icon to %1</source>
        <translation>Symbol auf %1 anwenden</translation>
    </message>
    <message>
        <source>Could not fully reset the icon of %1</source>
        <translation>Das Symbol von %1 konnte nicht vollständig zurückgesetzt werden</translation>
    </message>
    <message>
        <source>Reset Icon of %1</source>
        <translation>Symbol von %1 zurücksetzen</translation>
    </message>
    <message>
        <source>%1: %2 no longer exists</source>
        <translation>%1: %2 existiert nicht mehr</translation>
    </message>
    <message>
        <source>The icon of %1 could not follow its new name: apply it again</source>
        <translation>Das Symbol von %1 konnte dem neuen Namen nicht folgen: Wenden Sie es erneut an</translation>
    </message>
    <message numerus="yes">
        <source>%n listed folders are no longer there: skipped</source>
        <translation>
            <numerusform>%n aufgelisteter Ordner ist nicht mehr vorhanden: übersprungen</numerusform>
            <numerusform>%n aufgelistete Ordner sind nicht mehr vorhanden: übersprungen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Apply %n Icons</source>
        <translation>
            <numerusform>%n Symbol anwenden</numerusform>
            <numerusform>%n Symbole anwenden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1: %2 of %n folders were not changed</source>
        <translation>
            <numerusform>%1: %2 von %n Ordner wurden nicht geändert</numerusform>
            <numerusform>%1: %2 von %n Ordnern wurden nicht geändert</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: the icon file of %2 is missing</source>
        <translation>%1: Die Symboldatei von %2 fehlt</translation>
    </message>
</context>
<context>
    <name>BatchConfirmation</name>
    <message>
        <source>Regenerate Icons</source>
        <translation>Symbole neu generieren</translation>
    </message>
    <message numerus="yes">
        <source>Regenerate %n icons?</source>
        <translation>
            <numerusform>%n Symbol neu generieren?</numerusform>
            <numerusform>%n Symbole neu generieren?</numerusform>
        </translation>
    </message>
    <message>
        <source>Each icon is a paid generation with %1.</source>
        <translation>Jedes Symbol ist eine kostenpflichtige Generierung mit %1.</translation>
    </message>
    <message>
        <source>Estimated cost: about %1.</source>
        <translation>Geschätzte Kosten: etwa %1.</translation>
    </message>
    <message>
        <source>%1 left on this key.</source>
        <translation>Noch %1 Guthaben auf diesem Schlüssel.</translation>
    </message>
    <message numerus="yes">
        <source>Regenerate %n Icons</source>
        <translation>
            <numerusform>%n Symbol neu generieren</numerusform>
            <numerusform>%n Symbole neu generieren</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Do not ask again</source>
        <translation>Nicht mehr fragen</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>--set-api-key takes nothing else: it reads the key from standard input.</source>
        <translation>--set-api-key nimmt nichts weiter an: Der Schlüssel wird von der Standardeingabe gelesen.</translation>
    </message>
    <message>
        <source>--fast only goes with --apply-icons.</source>
        <translation>--fast geht nur zusammen mit --apply-icons.</translation>
    </message>
    <message>
        <source>%1: skipped “%2”: no such folder</source>
        <translation>%1: „%2“ übersprungen: Ordner existiert nicht</translation>
    </message>
    <message>
        <source>%1: skipped “%2”: not a folder</source>
        <translation>%1: „%2“ übersprungen: kein Ordner</translation>
    </message>
    <message>
        <source>--apply-icons needs at least one folder.</source>
        <translation>--apply-icons braucht mindestens einen Ordner.</translation>
    </message>
    <message>
        <source>--apply-icons found no folder to work on.</source>
        <translation>--apply-icons hat keinen Ordner zum Bearbeiten gefunden.</translation>
    </message>
    <message>
        <source>Usage: tavrune [FOLDER...]
       tavrune --apply-icons [--fast] FOLDER...
       tavrune --set-api-key &lt; FILE

Gives folders custom AI-generated icons, made with your own OpenRouter API key.

  FOLDER...            open the window with these folders added; when Tavrune is
                       already running, the folders go to its window instead
  --apply-icons        without a window: generate an icon for every FOLDER at once
                       and apply it; one line per folder on stderr. Exit status 0
                       when every folder got its icon, 1 when any failed, 2 on bad
                       usage, when no API key is stored or the keyring is locked
  --fast               with --apply-icons: ask the fast model first
  --set-api-key        store the OpenRouter API key read from standard input, in
                       the desktop keyring, or a private file when there is none
  -h, --help           show this help
  -v, --version        show the version
</source>
        <translation>Aufruf: tavrune [ORDNER...]
        tavrune --apply-icons [--fast] ORDNER...
        tavrune --set-api-key &lt; DATEI

Gibt Ordnern eigene, mit KI generierte Symbole, erstellt mit Ihrem eigenen
OpenRouter-API-Schlüssel.

  ORDNER...            das Fenster mit diesen Ordnern öffnen; läuft Tavrune
                       bereits, kommen die Ordner stattdessen in dessen Fenster
  --apply-icons        ohne Fenster: für jeden ORDNER sofort ein Symbol
                       generieren und anwenden; eine Zeile je Ordner auf stderr.
                       Rückgabewert 0, wenn jeder Ordner sein Symbol erhielt,
                       1, wenn einer fehlschlug, 2 bei falschem Aufruf, wenn
                       kein API-Schlüssel gespeichert oder der Schlüsselbund
                       gesperrt ist
  --fast               mit --apply-icons: zuerst das schnelle Modell fragen
  --set-api-key        den OpenRouter-API-Schlüssel von der Standardeingabe
                       speichern: im Schlüsselbund der Arbeitsumgebung oder,
                       wenn es keinen gibt, in einer privaten Datei
  -h, --help           diese Hilfe anzeigen
  -v, --version        die Version anzeigen
</translation>
    </message>
</context>
<context>
    <name>DesktopAnnouncer</name>
    <message>
        <source>1 icon generated</source>
        <translation>1 Symbol generiert</translation>
    </message>
    <message numerus="yes">
        <source>%n icons generated</source>
        <translation>
            <numerusform>%n Symbol generiert</numerusform>
            <numerusform>%n Symbole generiert</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, %2 failed</source>
        <translation>%1, %2 fehlgeschlagen</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
</context>
<context>
    <name>FolderGridController</name>
    <message>
        <source>Regenerate Icon</source>
        <translation>Symbol neu generieren</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Apply Icon to Folder</source>
        <translation>Symbol auf Ordner anwenden</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>In Dateiverwaltung anzeigen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
</context>
<context>
    <name>FolderGridView</name>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
</context>
<context>
    <name>FolderIconService</name>
    <message>
        <source>gvfs metadata is not available</source>
        <translation>gvfs-Metadaten sind nicht verfügbar</translation>
    </message>
    <message>
        <source>gvfs did not store the metadata</source>
        <translation>gvfs hat die Metadaten nicht gespeichert</translation>
    </message>
    <message>
        <source>“.directory” could not be written</source>
        <translation>„.directory“ konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>“.directory” is read-only</source>
        <translation>„.directory“ ist schreibgeschützt</translation>
    </message>
    <message>
        <source>“.directory” belongs to another user</source>
        <translation>„.directory“ gehört einem anderen Benutzer</translation>
    </message>
    <message>
        <source>the folder is read-only</source>
        <translation>der Ordner ist schreibgeschützt</translation>
    </message>
    <message>
        <source>“.directory” is not a regular file</source>
        <translation>„.directory“ ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>“.directory” cannot be read</source>
        <translation>„.directory“ kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>“.directory” cannot be edited safely</source>
        <translation>„.directory“ kann nicht sicher bearbeitet werden</translation>
    </message>
    <message>
        <source>it could not be written</source>
        <translation>sie konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>GNOME Files, Nemo, Caja and Thunar</source>
        <translation>GNOME Dateien, Nemo, Caja und Thunar</translation>
    </message>
    <message>
        <source>Dolphin and PCManFM-Qt</source>
        <translation>Dolphin und PCManFM-Qt</translation>
    </message>
    <message>
        <source>Applied, but %1 will not show it: %2</source>
        <translation>Angewendet, aber %1 zeigen es nicht an: %2</translation>
    </message>
</context>
<context>
    <name>FolderInspectorView</name>
    <message>
        <source>Invalid or expired API key. Please update your OpenRouter API key.</source>
        <translation>Ungültiger oder abgelaufener API-Schlüssel. Bitte aktualisieren Sie Ihren OpenRouter-API-Schlüssel.</translation>
    </message>
    <message>
        <source>Manual text is allowed. Consistency mode still aligns overall family style unless you switch to Individual.</source>
        <translation>Eigener Text ist erlaubt. Der einheitliche Modus gleicht den Gesamtstil weiter an, bis Sie zu „Individuell“ wechseln.</translation>
    </message>
    <message>
        <source>Manual text is fully editable. Individual mode maximizes uniqueness per folder.</source>
        <translation>Eigener Text ist frei bearbeitbar. Der individuelle Modus macht jeden Ordner so einzigartig wie möglich.</translation>
    </message>
    <message>
        <source>FOLDER DETAILS</source>
        <translation>ORDNERDETAILS</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>PROMPT (EDITABLE)</source>
        <translation>PROMPT (BEARBEITBAR)</translation>
    </message>
    <message>
        <source>Type any manual prompt here for this folder...</source>
        <translation>Eigenen Prompt für diesen Ordner hier eingeben …</translation>
    </message>
    <message>
        <source>Update API Key</source>
        <translation>API-Schlüssel aktualisieren</translation>
    </message>
    <message>
        <source>Regenerate Icon</source>
        <translation>Symbol neu generieren</translation>
    </message>
    <message>
        <source>Apply to Folder</source>
        <translation>Auf Ordner anwenden</translation>
    </message>
    <message>
        <source>Reset Folder Icon</source>
        <translation>Ordnersymbol zurücksetzen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Cost: $%1</source>
        <translation>Kosten: $%1</translation>
    </message>
    <message>
        <source>Detected: %1</source>
        <translation>Erkannt: %1</translation>
    </message>
    <message>
        <source>Mode: MANUAL</source>
        <translation>Modus: MANUELL</translation>
    </message>
    <message>
        <source>Mode: AUTO</source>
        <translation>Modus: AUTO</translation>
    </message>
    <message>
        <source>Clear Manual</source>
        <translation>Eigenen Text löschen</translation>
    </message>
    <message>
        <source>Use Auto As Base</source>
        <translation>Automatik als Basis</translation>
    </message>
    <message>
        <source>Ctrl+⏎</source>
        <translation>Strg+⏎</translation>
    </message>
</context>
<context>
    <name>FolderItemModel</name>
    <message>
        <source>Generating…</source>
        <translation>Wird generiert …</translation>
    </message>
    <message>
        <source>Icon generated, not applied yet</source>
        <translation>Symbol generiert, noch nicht angewendet</translation>
    </message>
    <message>
        <source>Icon applied</source>
        <translation>Symbol angewendet</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Generating</source>
        <translation>Wird generiert</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Applied</source>
        <translation>Angewendet</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Category</source>
        <translation>Kategorie</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>FolderPainter</name>
    <message>
        <source>Icon generated — not applied to the folder yet</source>
        <translation>Symbol generiert – noch nicht auf den Ordner angewendet</translation>
    </message>
    <message>
        <source>Icon applied to folder</source>
        <translation>Symbol auf Ordner angewendet</translation>
    </message>
    <message numerus="yes">
        <source>%n files</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Add Folders</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Drop folders here</source>
        <translation>Ordner hier ablegen</translation>
    </message>
    <message>
        <source>or press Ctrl+O to browse</source>
        <translation>oder mit Strg+O auswählen</translation>
    </message>
</context>
<context>
    <name>FolderRemoval</name>
    <message>
        <source>Remove “%1”</source>
        <translation>„%1“ entfernen</translation>
    </message>
    <message numerus="yes">
        <source>Remove %n Folders</source>
        <translation>
            <numerusform>%n Ordner entfernen</numerusform>
            <numerusform>%n Ordner entfernen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>GeneratingOverlay</name>
    <message>
        <source>Generating</source>
        <comment>the word waving over an icon being made; keep it short</comment>
        <translation>Generiere</translation>
    </message>
</context>
<context>
    <name>GeneratingOverlayWidget</name>
    <message>
        <source>Generating…</source>
        <translation>Wird generiert …</translation>
    </message>
</context>
<context>
    <name>GenerationError</name>
    <message>
        <source>All models failed: %1</source>
        <translation>Alle Modelle fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>API Error: %1</source>
        <translation>API-Fehler: %1</translation>
    </message>
    <message>
        <source>Network error: %1</source>
        <translation>Netzwerkfehler: %1</translation>
    </message>
    <message>
        <source>Invalid response from API</source>
        <translation>Ungültige Antwort der API</translation>
    </message>
    <message>
        <source>Failed to decode generated image</source>
        <translation>Das generierte Bild konnte nicht dekodiert werden</translation>
    </message>
</context>
<context>
    <name>GenerationProgressView</name>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Stop generating (Ctrl+.)</source>
        <translation>Generieren anhalten (Strg+.)</translation>
    </message>
    <message>
        <source>Generating %1 of %2…</source>
        <translation>Generierung %1 von %2 …</translation>
    </message>
    <message>
        <source>Applying %1 of %2…</source>
        <translation>Anwenden: %1 von %2 …</translation>
    </message>
</context>
<context>
    <name>HeadlessRun</name>
    <message>
        <source>the keyring is locked, and no unlock prompt can be shown without a display.</source>
        <translation>Der Schlüsselbund ist gesperrt, und ohne Bildschirm kann keine Entsperrabfrage erscheinen.</translation>
    </message>
    <message>
        <source>tavrune: cannot read standard input.</source>
        <translation>tavrune: Die Standardeingabe kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>tavrune: no API key on standard input.</source>
        <translation>tavrune: Kein API-Schlüssel in der Standardeingabe.</translation>
    </message>
    <message>
        <source>Could not store the API key in the keyring</source>
        <translation>Der API-Schlüssel konnte nicht im Schlüsselbund gespeichert werden</translation>
    </message>
    <message>
        <source>tavrune: could not store the API key.</source>
        <translation>tavrune: Der API-Schlüssel konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>API key stored in your keyring.</source>
        <translation>API-Schlüssel in Ihrem Schlüsselbund gespeichert.</translation>
    </message>
    <message>
        <source>API key stored in a private file on this computer.</source>
        <translation>API-Schlüssel in einer privaten Datei auf diesem Rechner gespeichert.</translation>
    </message>
    <message>
        <source>Could not read the API key from the keyring</source>
        <translation>Der API-Schlüssel konnte nicht aus dem Schlüsselbund gelesen werden</translation>
    </message>
    <message>
        <source>tavrune: no OpenRouter API key is stored. Store one in the window (Generate &gt; API Key Settings...) or with: tavrune --set-api-key &lt; FILE</source>
        <translation>tavrune: Es ist kein OpenRouter-API-Schlüssel gespeichert. Speichern Sie einen im Fenster (Generieren &gt; API-Schlüssel-Einstellungen …) oder mit: tavrune --set-api-key &lt; DATEI</translation>
    </message>
    <message>
        <source>%1: applied</source>
        <translation>%1: angewendet</translation>
    </message>
    <message>
        <source>%1: failed: %2</source>
        <translation>%1: fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>%1: failed: no OpenRouter API key is stored</source>
        <translation>%1: fehlgeschlagen: Es ist kein OpenRouter-API-Schlüssel gespeichert</translation>
    </message>
    <message>
        <source>tavrune: interrupted, 1 generation stopped</source>
        <translation>tavrune: Unterbrochen, 1 Generierung angehalten</translation>
    </message>
    <message numerus="yes">
        <source>tavrune: interrupted, %n generations stopped</source>
        <translation>
            <numerusform>tavrune: Unterbrochen, %n Generierung angehalten</numerusform>
            <numerusform>tavrune: Unterbrochen, %n Generierungen angehalten</numerusform>
        </translation>
    </message>
    <message>
        <source>tavrune: %1</source>
        <translation>tavrune: %1</translation>
    </message>
    <message>
        <source>Try “tavrune --help” for more.</source>
        <translation>Mehr erfahren Sie mit „tavrune --help“.</translation>
    </message>
</context>
<context>
    <name>HistoryStrip</name>
    <message>
        <source>Earlier images</source>
        <translation>Frühere Bilder</translation>
    </message>
    <message>
        <source>an unknown date</source>
        <translation>unbekanntes Datum</translation>
    </message>
    <message>
        <source>an unknown model</source>
        <translation>einem unbekannten Modell</translation>
    </message>
    <message>
        <source>Generated %1 with %2</source>
        <translation>Generiert (%1) mit %2</translation>
    </message>
    <message>
        <source>Earlier image from %1</source>
        <translation>Früheres Bild (%1)</translation>
    </message>
    <message>
        <source>Made with %1. Press to use it again.</source>
        <translation>Erstellt mit %1. Drücken, um es wieder zu verwenden.</translation>
    </message>
    <message>
        <source>Generated %1 with %2 for $%3</source>
        <translation>Generiert (%1) mit %2 für $%3</translation>
    </message>
</context>
<context>
    <name>HttpClient</name>
    <message>
        <source>Refused to send a header whose name is not a valid token</source>
        <translation>Ein Header, dessen Name kein gültiges Token ist, wurde nicht gesendet</translation>
    </message>
    <message>
        <source>Refused to send header %1: its value contains a line break or NUL character</source>
        <translation>Header %1 wurde nicht gesendet: Sein Wert enthält einen Zeilenumbruch oder ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>Response body exceeds the limit of %1 bytes</source>
        <translation>Die Antwort überschreitet die Grenze von %1 Bytes</translation>
    </message>
    <message>
        <source>Could not create a transfer</source>
        <translation>Die Übertragung konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>Could not start the transfer</source>
        <translation>Die Übertragung konnte nicht gestartet werden</translation>
    </message>
</context>
<context>
    <name>IconChange</name>
    <message>
        <source>Couldn’t redo %1</source>
        <translation>%1 konnte nicht wiederholt werden</translation>
    </message>
    <message>
        <source>Couldn’t undo %1</source>
        <translation>%1 konnte nicht rückgängig gemacht werden</translation>
    </message>
</context>
<context>
    <name>IconPreviewView</name>
    <message>
        <source>Generation failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Applied</source>
        <translation>Angewendet</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Stop 1 generation and quit?</source>
        <translation>1 Generierung anhalten und beenden?</translation>
    </message>
    <message numerus="yes">
        <source>Stop %n generations and quit?</source>
        <translation>
            <numerusform>%n Generierung anhalten und beenden?</numerusform>
            <numerusform>%n Generierungen anhalten und beenden?</numerusform>
        </translation>
    </message>
    <message>
        <source>Their folders keep the icons they had before.</source>
        <translation>Die Ordner behalten ihre bisherigen Symbole.</translation>
    </message>
    <message>
        <source>Stop and Quit</source>
        <translation>Anhalten und beenden</translation>
    </message>
</context>
<context>
    <name>MultiSelectInspectorView</name>
    <message>
        <source>BATCH SELECTION</source>
        <translation>MEHRFACHAUSWAHL</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Batch actions available below</source>
        <translation>Aktionen für alle finden Sie unten</translation>
    </message>
    <message>
        <source>SELECTED FOLDERS</source>
        <translation>AUSGEWÄHLTE ORDNER</translation>
    </message>
    <message>
        <source>SHARED PROMPT</source>
        <translation>GEMEINSAMER PROMPT</translation>
    </message>
    <message>
        <source>Type a shared prompt for all selected folders...</source>
        <translation>Gemeinsamen Prompt für alle ausgewählten Ordner eingeben …</translation>
    </message>
    <message>
        <source>Clear Prompt</source>
        <translation>Prompt löschen</translation>
    </message>
    <message>
        <source>Fast mode</source>
        <translation>Schneller Modus</translation>
    </message>
    <message>
        <source>Regenerate All Selected</source>
        <translation>Alle ausgewählten neu generieren</translation>
    </message>
    <message>
        <source>Apply All Icons (%1)</source>
        <translation>Alle Symbole anwenden (%1)</translation>
    </message>
    <message>
        <source>Remove All Selected</source>
        <translation>Alle ausgewählten entfernen</translation>
    </message>
    <message numerus="yes">
        <source>%n folders selected</source>
        <translation>
            <numerusform>%n Ordner ausgewählt</numerusform>
            <numerusform>%n Ordner ausgewählt</numerusform>
        </translation>
    </message>
    <message>
        <source>This prompt will be applied to all selected folders.</source>
        <translation>Dieser Prompt gilt für alle ausgewählten Ordner.</translation>
    </message>
    <message>
        <source>Leave empty to use each folder&apos;s auto-generated prompt.</source>
        <translation>Leer lassen, um den automatisch erzeugten Prompt jedes Ordners zu verwenden.</translation>
    </message>
    <message>
        <source>Generate All with Prompt</source>
        <translation>Alle mit Prompt generieren</translation>
    </message>
    <message>
        <source>Fast mode (Gemini)</source>
        <translation>Schneller Modus (Gemini)</translation>
    </message>
    <message>
        <source>Quality mode (ChatGPT)</source>
        <translation>Qualitätsmodus (ChatGPT)</translation>
    </message>
    <message>
        <source>~10 sec per icon</source>
        <translation>ca. 10 s pro Symbol</translation>
    </message>
    <message>
        <source>1–3 min per icon</source>
        <translation>1–3 min pro Symbol</translation>
    </message>
</context>
<context>
    <name>OnboardingSheet</name>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Could not save the API key</source>
        <translation>Der API-Schlüssel konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>OpenRouter API Key</source>
        <translation>OpenRouter-API-Schlüssel</translation>
    </message>
    <message>
        <source>Welcome to Tavrune</source>
        <translation>Willkommen bei Tavrune</translation>
    </message>
    <message>
        <source>AI-powered folder icon generation for Linux</source>
        <translation>KI-gestützte Ordnersymbole für Linux</translation>
    </message>
    <message>
        <source>Tavrune uses OpenRouter with Google&apos;s Gemini 2.5 Flash Image (aka Nano Banana) model to generate custom folder icons. Your API key is stored locally on this computer.</source>
        <translation>Tavrune erzeugt eigene Ordnersymbole über OpenRouter mit dem Modell Gemini 2.5 Flash Image (alias Nano Banana) von Google. Ihr API-Schlüssel wird lokal auf diesem Rechner gespeichert.</translation>
    </message>
    <message>
        <source>Test Connection</source>
        <translation>Verbindung testen</translation>
    </message>
    <message>
        <source>Skip for Now</source>
        <translation>Vorerst überspringen</translation>
    </message>
    <message>
        <source>Save &amp;&amp; Continue</source>
        <translation>Speichern &amp;&amp; fortfahren</translation>
    </message>
    <message>
        <source>%1 · %2 left on this key</source>
        <translation>%1 · noch %2 auf diesem Schlüssel</translation>
    </message>
    <message>
        <source>%1 · No spending limit on this key</source>
        <translation>%1 · Kein Ausgabenlimit für diesen Schlüssel</translation>
    </message>
    <message>
        <source>Could not store the API key in the keyring</source>
        <translation>Der API-Schlüssel konnte nicht im Schlüsselbund gespeichert werden</translation>
    </message>
    <message>
        <source>Could not read the API key from the keyring</source>
        <translation>Der API-Schlüssel konnte nicht aus dem Schlüsselbund gelesen werden</translation>
    </message>
    <message>
        <source>Stored in your keyring</source>
        <translation>In Ihrem Schlüsselbund gespeichert</translation>
    </message>
    <message>
        <source>Stored in a private file on this computer</source>
        <translation>In einer privaten Datei auf diesem Rechner gespeichert</translation>
    </message>
</context>
<context>
    <name>OpenRouter</name>
    <message>
        <source>No response</source>
        <translation>Keine Antwort</translation>
    </message>
    <message>
        <source>Invalid API key</source>
        <translation>Ungültiger API-Schlüssel</translation>
    </message>
    <message>
        <source>Connection failed</source>
        <translation>Verbindung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Invalid API key: it contains a line break</source>
        <translation>Ungültiger API-Schlüssel: Er enthält einen Zeilenumbruch</translation>
    </message>
    <message>
        <source>Invalid API key: it contains a NUL character</source>
        <translation>Ungültiger API-Schlüssel: Er enthält ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>OpenRouter could not check the key (HTTP %1); try again</source>
        <translation>OpenRouter konnte den Schlüssel nicht prüfen (HTTP %1); bitte erneut versuchen</translation>
    </message>
    <message>
        <source>Unexpected answer from OpenRouter (HTTP %1)</source>
        <translation>Unerwartete Antwort von OpenRouter (HTTP %1)</translation>
    </message>
</context>
<context>
    <name>SemanticCategory</name>
    <message>
        <source>Code</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Code / Development</source>
        <translation>Code / Entwicklung</translation>
    </message>
    <message>
        <source>Music</source>
        <translation>Musik</translation>
    </message>
    <message>
        <source>Music / Audio</source>
        <translation>Musik / Audio</translation>
    </message>
    <message>
        <source>Photos</source>
        <translation>Fotos</translation>
    </message>
    <message>
        <source>Photos / Images</source>
        <translation>Fotos / Bilder</translation>
    </message>
    <message>
        <source>Documents</source>
        <translation>Dokumente</translation>
    </message>
    <message>
        <source>Documents / Writing</source>
        <translation>Dokumente / Texte</translation>
    </message>
    <message>
        <source>Finance</source>
        <translation>Finanzen</translation>
    </message>
    <message>
        <source>Finance / Business</source>
        <translation>Finanzen / Geschäft</translation>
    </message>
    <message>
        <source>Design</source>
        <translation>Design</translation>
    </message>
    <message>
        <source>Design / Creative</source>
        <translation>Design / Kreatives</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Video / Film</source>
        <translation>Video / Film</translation>
    </message>
    <message>
        <source>Games</source>
        <translation>Spiele</translation>
    </message>
    <message>
        <source>Games / Fun</source>
        <translation>Spiele / Spaß</translation>
    </message>
    <message>
        <source>Travel</source>
        <translation>Reisen</translation>
    </message>
    <message>
        <source>Travel / Places</source>
        <translation>Reisen / Orte</translation>
    </message>
    <message>
        <source>School</source>
        <translation>Schule</translation>
    </message>
    <message>
        <source>School / Learning</source>
        <translation>Schule / Lernen</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Personal</source>
        <translation>Persönlich</translation>
    </message>
</context>
<context>
    <name>SessionStore</name>
    <message>
        <source>Folder not found</source>
        <translation>Ordner nicht gefunden</translation>
    </message>
    <message>
        <source>Could not restore the last session</source>
        <translation>Die letzte Sitzung konnte nicht wiederhergestellt werden</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>tavrune: the running Tavrune window did not answer (%1); opening another one.</source>
        <translation>tavrune: Das laufende Tavrune-Fenster hat nicht geantwortet (%1); ein weiteres wird geöffnet.</translation>
    </message>
</context>
<context>
    <name>SplashView</name>
    <message>
        <source>AI-Powered Folder Icons</source>
        <translation>KI-gestützte Ordnersymbole</translation>
    </message>
</context>
<context>
    <name>TavruneApp</name>
    <message>
        <source>Select folders to generate icons for</source>
        <translation>Ordner auswählen, die Symbole erhalten sollen</translation>
    </message>
    <message>
        <source>Add Folders</source>
        <translation>Ordner hinzufügen</translation>
    </message>
</context>
<context>
    <name>TavruneToolbar</name>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>More Tools</source>
        <translation>Weitere Werkzeuge</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Add folders (Ctrl+O)</source>
        <translation>Ordner hinzufügen (Strg+O)</translation>
    </message>
    <message>
        <source>Grid</source>
        <translation>Raster</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Toggle view mode</source>
        <translation>Ansichtsmodus wechseln</translation>
    </message>
    <message>
        <source>View Mode</source>
        <translation>Ansichtsmodus</translation>
    </message>
    <message>
        <source>Regenerate All</source>
        <translation>Alle neu generieren</translation>
    </message>
    <message>
        <source>Regenerate all icons (Ctrl+Shift+R)</source>
        <translation>Alle Symbole neu generieren (Strg+Umschalt+R)</translation>
    </message>
    <message>
        <source>Inspector</source>
        <translation>Inspektor</translation>
    </message>
    <message>
        <source>Toggle inspector (Ctrl+Alt+I)</source>
        <translation>Inspektor ein-/ausblenden (Strg+Alt+I)</translation>
    </message>
    <message>
        <source>Shown</source>
        <translation>Eingeblendet</translation>
    </message>
    <message>
        <source>Hidden</source>
        <translation>Ausgeblendet</translation>
    </message>
</context>
</TS>
