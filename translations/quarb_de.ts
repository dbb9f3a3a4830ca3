<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>BackgroundRead</name>
    <message>
        <source>Reading…</source>
        <translation>Wird gelesen…</translation>
    </message>
</context>
<context>
    <name>CommonSizes</name>
    <message>
        <source>FAT32 stick (files up to 4 GiB − 1 byte)</source>
        <translation>FAT32-Stick (Dateien bis 4 GiB − 1 Byte)</translation>
    </message>
    <message>
        <source>CD (700 MB)</source>
        <translation>CD (700 MB)</translation>
    </message>
    <message>
        <source>DVD (4.7 GB)</source>
        <translation>DVD (4,7 GB)</translation>
    </message>
    <message>
        <source>Mail attachment (25 MB limit)</source>
        <translation>E-Mail-Anhang (Grenze 25 MB)</translation>
    </message>
    <message>
        <source>2 GB</source>
        <translation>2 GB</translation>
    </message>
    <message>
        <source>Common sizes ▾</source>
        <translation>Übliche Größen ▾</translation>
    </message>
    <message>
        <source>Common sizes</source>
        <translation>Übliche Größen</translation>
    </message>
    <message>
        <source>Fill in a piece size people often split for</source>
        <translation>Eine Teilgröße eintragen, in die oft geteilt wird</translation>
    </message>
</context>
<context>
    <name>ControlTable</name>
    <message>
        <source>Quarb&apos;s File Splitter</source>
        <translation>Quarb&apos;s File Splitter</translation>
    </message>
    <message>
        <source>Divider between split and join</source>
        <translation>Trennlinie zwischen Teilen und Zusammenfügen</translation>
    </message>
    <message>
        <source>Drive of the pieces to join</source>
        <translation>Laufwerk der zusammenzufügenden Teile</translation>
    </message>
    <message>
        <source>Folder of the pieces to join</source>
        <translation>Ordner der zusammenzufügenden Teile</translation>
    </message>
    <message>
        <source>Joined folder</source>
        <translation>Zusammengefügter Ordner</translation>
    </message>
    <message>
        <source>Files of the folder to join</source>
        <translation>Dateien des zusammenzufügenden Ordners</translation>
    </message>
    <message>
        <source>Save joined file in</source>
        <translation>Datei nach</translation>
    </message>
    <message>
        <source>Piece size</source>
        <translation>Teilgröße</translation>
    </message>
    <message>
        <source>Unit of the piece size</source>
        <translation>Einheit der Teilgröße</translation>
    </message>
    <message>
        <source>Number of files</source>
        <translation>Anzahl der Dateien</translation>
    </message>
    <message>
        <source>Split folder</source>
        <translation>Ordner der Teile</translation>
    </message>
    <message>
        <source>Pieces of the last split</source>
        <translation>Teile der letzten Teilung</translation>
    </message>
    <message>
        <source>Drive of the file to split</source>
        <translation>Laufwerk der zu teilenden Datei</translation>
    </message>
    <message>
        <source>Folder of the file to split</source>
        <translation>Ordner der zu teilenden Datei</translation>
    </message>
    <message>
        <source>File to split</source>
        <translation>Zu teilende Datei</translation>
    </message>
    <message>
        <source>Write checksums</source>
        <translation>Prüfsummen schreiben</translation>
    </message>
    <message>
        <source>Save pieces in</source>
        <translation>Teile nach</translation>
    </message>
    <message>
        <source>Recovery pieces</source>
        <translation>Wiederherstellungsteile</translation>
    </message>
</context>
<context>
    <name>DestinationPicker</name>
    <message>
        <source>Choose the folder</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Choose folder…</source>
        <translation>Ordner wählen…</translation>
    </message>
</context>
<context>
    <name>DirectoryList</name>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
</context>
<context>
    <name>DriveList</name>
    <message>
        <source>Reading…</source>
        <translation>Wird gelesen…</translation>
    </message>
</context>
<context>
    <name>JoinHalf</name>
    <message>
        <source>Join</source>
        <translation>Zusammenfügen</translation>
    </message>
    <message>
        <source>Verify</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>Save joined file in:</source>
        <translation>Datei nach:</translation>
    </message>
    <message>
        <source>In the pieces folder</source>
        <translation>In den Ordner der Teile</translation>
    </message>
    <message>
        <source>the pieces folder</source>
        <translation>Ordner der Teile</translation>
    </message>
    <message>
        <source>Repair</source>
        <translation>Reparieren</translation>
    </message>
</context>
<context>
    <name>PathOpener</name>
    <message>
        <source>Is neither a file nor a folder</source>
        <translation>Ist weder eine Datei noch ein Ordner</translation>
    </message>
    <message>
        <source>Is a named pipe (FIFO), not a file or a folder</source>
        <translation>Ist eine benannte Pipe (FIFO), keine Datei und kein Ordner</translation>
    </message>
    <message>
        <source>Is a character device, not a file or a folder</source>
        <translation>Ist ein zeichenorientiertes Gerät, keine Datei und kein Ordner</translation>
    </message>
    <message>
        <source>Is a block device, not a file or a folder</source>
        <translation>Ist ein blockorientiertes Gerät, keine Datei und kein Ordner</translation>
    </message>
    <message>
        <source>Is a socket, not a file or a folder</source>
        <translation>Ist ein Socket, keine Datei und kein Ordner</translation>
    </message>
</context>
<context>
    <name>PlanLine</name>
    <message>
        <source>Chosen file and its size</source>
        <translation>Gewählte Datei und ihre Größe</translation>
    </message>
    <message>
        <source>What the split will make</source>
        <translation>Was die Teilung erzeugt</translation>
    </message>
    <message>
        <source>→ enter a piece size</source>
        <translation>→ eine Teilgröße eingeben</translation>
    </message>
    <message>
        <source>→ enter the number of pieces</source>
        <translation>→ die Anzahl der Teile eingeben</translation>
    </message>
</context>
<context>
    <name>RunController</name>
    <message>
        <source>No program to show folders is set up on this desktop. The folder is %1.</source>
        <translation>Auf dieser Arbeitsumgebung ist kein Programm zum Anzeigen von Ordnern eingerichtet. Der Ordner ist %1.</translation>
    </message>
</context>
<context>
    <name>RunPanel</name>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Outcome of the last run</source>
        <translation>Ergebnis des letzten Laufs</translation>
    </message>
    <message>
        <source>Open folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Cancelling…</source>
        <translation>Wird abgebrochen…</translation>
    </message>
</context>
<context>
    <name>RunReport</name>
    <message>
        <source>A split is running. Stop it and quit?</source>
        <translation>Eine Teilung läuft. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>The split was cancelled.</source>
        <translation>Die Teilung wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The split is done</source>
        <translation>Die Teilung ist fertig</translation>
    </message>
    <message>
        <source>The split failed</source>
        <translation>Die Teilung ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>A join is running. Stop it and quit?</source>
        <translation>Ein Zusammenfügen läuft. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>The join was cancelled.</source>
        <translation>Das Zusammenfügen wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The join is done</source>
        <translation>Das Zusammenfügen ist fertig</translation>
    </message>
    <message>
        <source>The join failed</source>
        <translation>Das Zusammenfügen ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>A verification is running. Stop it and quit?</source>
        <translation>Eine Prüfung läuft. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>The verification was cancelled.</source>
        <translation>Die Prüfung wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The verification is done</source>
        <translation>Die Prüfung ist fertig</translation>
    </message>
    <message>
        <source>The verification failed</source>
        <translation>Die Prüfung ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>A repair is running. Stop it and quit?</source>
        <translation>Eine Reparatur läuft. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>The repair was cancelled.</source>
        <translation>Die Reparatur wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The repair is done</source>
        <translation>Die Reparatur ist fertig</translation>
    </message>
    <message>
        <source>The repair failed</source>
        <translation>Die Reparatur ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <comment>a run failed: the first line of its message</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Rebuild them from the recovery pieces and join?</source>
        <translation>Aus den Wiederherstellungsteilen neu erzeugen und zusammenfügen?</translation>
    </message>
    <message>
        <source>Repair</source>
        <translation>Reparieren</translation>
    </message>
</context>
<context>
    <name>Runs</name>
    <message>
        <source>%1 already exists. Split into %2 instead?</source>
        <translation>%1 gibt es schon. Stattdessen in %2 teilen?</translation>
    </message>
    <message>
        <source>%1 is already there. Replace it?</source>
        <translation>%1 ist schon vorhanden. Ersetzen?</translation>
    </message>
    <message>
        <source>The pieces folder cannot be written (%1). Save the joined file in %2 instead?</source>
        <translation>In den Ordner der Teile kann nicht geschrieben werden (%1). Die zusammengefügte Datei stattdessen in %2 speichern?</translation>
    </message>
</context>
<context>
    <name>SplitForm</name>
    <message>
        <source>Please select the file.</source>
        <translation>Bitte die Datei auswählen.</translation>
    </message>
    <message>
        <source>Incorrect split size</source>
        <translation>Ungültige Teilgröße</translation>
    </message>
    <message>
        <source>Incorrect Number of files specified.</source>
        <translation>Ungültige Anzahl von Dateien angegeben.</translation>
    </message>
    <message>
        <source>GigaBytes</source>
        <translation>Gigabyte</translation>
    </message>
    <message>
        <source>MegaBytes</source>
        <translation>Megabyte</translation>
    </message>
    <message>
        <source>KiloBytes</source>
        <translation>Kilobyte</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Byte</translation>
    </message>
</context>
<context>
    <name>SplitHalf</name>
    <message>
        <source>FileName</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Specify size</source>
        <translation>Größe angeben</translation>
    </message>
    <message>
        <source>Specify Number of files</source>
        <translation>Anzahl der Dateien angeben</translation>
    </message>
    <message>
        <source>Split</source>
        <translation>Teilen</translation>
    </message>
    <message>
        <source>Write checksums</source>
        <translation>Prüfsummen schreiben</translation>
    </message>
    <message>
        <source>Save pieces in:</source>
        <translation>Teile nach:</translation>
    </message>
    <message>
        <source>Beside the file</source>
        <translation>Neben die Datei</translation>
    </message>
    <message>
        <source>beside the file</source>
        <translation>neben die Datei</translation>
    </message>
    <message>
        <source>Recovery pieces</source>
        <translation>Wiederherstellungsteile</translation>
    </message>
    <message>
        <source>How to cut the file</source>
        <translation>Wie die Datei geteilt wird</translation>
    </message>
</context>
<context>
    <name>Wording</name>
    <message>
        <source>%1 byte</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>noch %1</translation>
    </message>
    <message>
        <source>→ 1 piece of %1</source>
        <translation>→ 1 Teil mit %1</translation>
    </message>
    <message>
        <source>→ %1 pieces of %2</source>
        <translation>→ %1 Teile mit %2</translation>
    </message>
    <message>
        <source>→ %1 pieces: %2 and %3</source>
        <translation>→ %1 Teile: %2 und %3</translation>
    </message>
    <message>
        <source>→ %1 pieces: %2 × %3 and one of %4</source>
        <translation>→ %1 Teile: %2 × %3 und eines mit %4</translation>
    </message>
    <message>
        <source>%1 in %2</source>
        <translation>%1 in %2</translation>
    </message>
    <message>
        <source> + %1 recovery piece of %2</source>
        <translation> + %1 Wiederherstellungsteil mit %2</translation>
    </message>
    <message>
        <source> + %1 recovery pieces of %2</source>
        <translation> + %1 Wiederherstellungsteile mit %2</translation>
    </message>
    <message>
        <source>→ %1, %2, in %3</source>
        <translation>→ %1, %2, in %3</translation>
    </message>
</context>
</TS>
