// The interface string table in English, Spanish and German, and the few language-chosen texts
// that live outside it. Row numbers are fixed: other code refers to texts by their row.
#include "locale/locale.h"

// Written without a scheme, as the Preferences paragraph shows them; the same hosts the fetch uses.
#define NASA_FEED_ENDPOINT L"www.nasa.gov/news-release/feed/"
#define NOAA_FEED_ENDPOINT L"www.noaa.gov/rss.xml"

namespace {

int languageColumn(UiLanguage language)
{
    const auto column = static_cast<std::int32_t>(language);
    return column >= 0 && column < UI_LANGUAGE_COUNT ? column : 0;
}

}  // namespace

// Row by row: the text of key k in language L is entry 3 * k + L. Exact spacing matters: rows 28
// and 29 carry two spaces after the number, row 90 double spaces around its middle dots, and rows
// 54 and 55 end in a space because the caller appends the count of new stories.
const wchar_t* const UI_STRINGS[UI_STRING_COUNT * UI_LANGUAGE_COUNT] = {
    // 0 SectionDiscover
    L"Discover",
    L"Descubrir",
    L"Entdecken",
    // 1 SectionBoard
    L"Story board",
    L"Tablero",
    L"Pinnwand",
    // 2 SectionAtlas
    L"Evidence atlas",
    L"Atlas visual",
    L"Bildatlas",
    // 3 SectionPreferences
    L"Preferences",
    L"Preferencias",
    L"Einstellungen",
    // 4 Tagline
    L"A field journal for curious minds",
    L"Un diario para mentes curiosas",
    L"Ein Journal für Neugierige",
    // 5 TitleDiscover
    L"Follow a new question.",
    L"Sigue una nueva pregunta.",
    L"Folge einer neuen Frage.",
    // 6 TitleBoard
    L"Make the connections.",
    L"Conecta las historias.",
    L"Verbinde die Geschichten.",
    // 7 TitleAtlas
    L"Look a little closer.",
    L"Mira más de cerca.",
    L"Schau genauer hin.",
    // 8 TitlePreferences
    L"Your quiet research companion.",
    L"Tu compañero de investigación.",
    L"Dein stiller Forschungsbegleiter.",
    // 9 HintDiscover
    L"Official science stories, with room for your own observations.",
    L"Historias científicas oficiales y tus propias observaciones.",
    L"Offizielle Wissenschaftsberichte und deine Beobachtungen.",
    // 10 HintBoard
    L"Drag cards to arrange. Drag empty space to pan. Scroll to zoom.",
    L"Arrastra tarjetas o el fondo. Usa la rueda para ampliar.",
    L"Karten oder Hintergrund ziehen. Mit dem Mausrad zoomen.",
    // 11 HintAtlas
    L"Original NASA plates. Scroll to zoom; drag to explore. Available offline.",
    L"Imágenes originales de NASA. Rueda: zoom. Arrastra para explorar. Sin conexión.",
    L"NASA-Originalbilder. Mausrad: Zoom. Ziehen: Bewegen. Auch offline.",
    // 12 RefreshSources
    L"Refresh sources",
    L"Actualizar",
    L"Aktualisieren",
    // 13 ReceivingStories
    L"Receiving stories...",
    L"Recibiendo historias...",
    L"Berichte werden geladen...",
    // 14 SearchCue
    L"Search titles, stories and notes",
    L"Buscar títulos, historias y notas",
    L"Titel, Berichte und Notizen suchen",
    // 15 SaveToBoard
    L"Save to board",
    L"Guardar en tablero",
    L"An Pinnwand heften",
    // 16 UnpinStory
    L"Unpin story",
    L"Quitar tarjeta",
    L"Karte lösen",
    // 17 ReadSource
    L"Read source ↗",
    L"Leer fuente ↗",
    L"Quelle lesen ↗",
    // 18 YourObservation
    L"YOUR OBSERVATION",
    L"TU OBSERVACIÓN",
    L"DEINE BEOBACHTUNG",
    // 19 SaveNote
    L"Save note",
    L"Guardar nota",
    L"Notiz speichern",
    // 20 NoteCue
    L"What surprised you? What would you investigate next?",
    L"¿Qué te sorprendió? ¿Qué investigarías después?",
    L"Was hat dich überrascht? Was möchtest du weiter erforschen?",
    // 21 ConnectCards
    L"Connect cards",
    L"Conectar tarjetas",
    L"Karten verbinden",
    // 22 CancelConnection
    L"Cancel connection",
    L"Cancelar conexión",
    L"Verbindung abbrechen",
    // 23 FitBoard
    L"Fit board",
    L"Ver tablero",
    L"Pinnwand einpassen",
    // 24 LinkRelated
    L"Related",
    L"Relación",
    L"Verwandt",
    // 25 LinkEvidence
    L"Evidence",
    L"Evidencia",
    L"Beleg",
    // 26 LinkQuestion
    L"Question",
    L"Pregunta",
    L"Frage",
    // 27 ClearLinks
    L"Clear links",
    L"Quitar enlaces",
    L"Verknüpfungen lösen",
    // 28 Plate0Button
    L"01  Cosmic Cliffs",
    L"01  Acantilados cósmicos",
    L"01  Kosmische Klippen",
    // 29 Plate1Button
    L"02  NIRCam + MIRI panorama",
    L"02  Panorama NIRCam + MIRI",
    L"02  NIRCam + MIRI Panorama",
    // 30 FitImage
    L"Fit image",
    L"Ajustar imagen",
    L"Bild einpassen",
    // 31 ActualPixels
    L"Actual pixels",
    L"Píxeles reales",
    L"Originalpixel",
    // 32 ZoomIn
    L"Zoom in",
    L"Ampliar",
    L"Vergrößern",
    // 33 ZoomOut
    L"Zoom out",
    L"Reducir",
    L"Verkleinern",
    // 34 CheckHourly
    L"Check sources every hour",
    L"Consultar fuentes cada hora",
    L"Quellen stündlich prüfen",
    // 35 NotifyNewStories
    L"Notify when new stories arrive",
    L"Avisar de nuevas historias",
    L"Neue Berichte melden",
    // 36 ExportBoard
    L"Export board",
    L"Exportar tablero",
    L"Pinnwand exportieren",
    // 37 OpenDataFolder
    L"Open data folder",
    L"Abrir carpeta de datos",
    L"Datenordner öffnen",
    // 38 QuitKestrune
    L"Quit Kestrune",
    L"Salir de Kestrune",
    L"Kestrune beenden",
    // 39 KeepInTray
    L"Keep in tray",
    L"Mantener en bandeja",
    L"Im Infobereich behalten",
    // 40 OpenKestrune
    L"Open Kestrune",
    L"Abrir Kestrune",
    L"Kestrune öffnen",
    // 41 PrivacyTitle
    L"LOCAL STORIES. CLEAR INTENT.",
    L"ACTIVIDAD TRANSPARENTE.",
    L"KLARE FUNKTION. TRANSPARENTER BETRIEB.",
    // 42 PrivacyText
    L"No account, telemetry, advertising or startup registration. Closing the window keeps "
    L"Kestrune in the tray. Quit stops it completely. Background requests happen only when you "
    L"enable hourly checks. Manual refresh contacts the sources immediately.",
    L"Sin cuenta, telemetría, anuncios ni inicio automático. Cerrar la ventana mantiene Kestrune "
    L"en la bandeja. Salir lo detiene por completo. Las consultas en segundo plano requieren "
    L"activar la opción horaria. Actualizar consulta las fuentes al instante.",
    L"Kein Konto, keine Telemetrie, Werbung oder Autostart-Einträge. Schließen lässt Kestrune im "
    L"Infobereich weiterlaufen. Beenden stoppt es vollständig. Hintergrundabfragen erfolgen nur "
    L"bei aktivierter Stundenprüfung. Aktualisieren fragt die Quellen sofort ab.",
    // 43 LanguageTitle
    L"LANGUAGE & LOCAL TIME",
    L"IDIOMA Y HORA LOCAL",
    L"SPRACHE UND ORTSZEIT",
    // 44 LanguageText
    L"English, Spanish and German follow the first Windows display-language preference. Other "
    L"languages use English. Windows date order, 12/24-hour preferences and current time zone are "
    L"applied automatically. Source stories remain in English.",
    L"Inglés, español y alemán siguen la primera preferencia de idioma de Windows. Otros idiomas "
    L"usan inglés. Se aplican el formato de fecha, la hora de 12/24 horas y la zona horaria de "
    L"Windows. Las fuentes permanecen en inglés.",
    L"Englisch, Spanisch und Deutsch folgen der ersten Windows-Anzeigesprache. Andere Sprachen "
    L"verwenden Englisch. Datumsformat, 12-/24-Stunden-Anzeige und Zeitzone folgen Windows. "
    L"Quellberichte bleiben auf Englisch.",
    // 45 DataTitle
    L"LOCAL DATA & BACKUPS",
    L"DATOS LOCALES Y COPIAS",
    L"LOKALE DATEN UND SICHERUNGEN",
    // 46 DataText
    L"Stories, notes and connections are saved in your local app-data folder. Each successful "
    L"update keeps the previous version as a backup. Export creates a readable JSON copy in the "
    L"exports subfolder. Data is not encrypted. To move your library, quit Kestrune and copy "
    L"library.json to the same app-data folder on the other computer.",
    L"Historias, notas y conexiones se guardan en la carpeta local de la aplicación. Cada "
    L"actualización conserva una copia anterior. Exportar crea un archivo JSON legible en la "
    L"subcarpeta exports. Los datos no están cifrados. Para moverlos, cierra Kestrune y copia "
    L"library.json a la misma carpeta del otro equipo.",
    L"Berichte, Notizen und Verbindungen liegen im lokalen App-Datenordner. Jede Speicherung "
    L"sichert die vorherige Version. Export erstellt eine lesbare JSON-Kopie im Unterordner "
    L"exports. Die Daten sind unverschlüsselt. Zum Umzug Kestrune beenden und library.json in "
    L"denselben App-Datenordner des anderen Computers kopieren.",
    // 47 SourcesTitle
    L"VERIFIABLE SOURCES",
    L"FUENTES VERIFICABLES",
    L"NACHPRÜFBARE QUELLEN",
    // 48 SourcesText
    L"HTTPS GET only: " NASA_FEED_ENDPOINT L" and " NOAA_FEED_ENDPOINT L"."
    L" No API key. Redirects and cookies are disabled; Windows verifies TLS certificates. Read "
    L"source opens the official HTTPS page in your browser. NASA / ESA / CSA / STScI image credit "
    L"does not imply endorsement.",
    L"Solo HTTPS GET: " NASA_FEED_ENDPOINT L" y " NOAA_FEED_ENDPOINT L"."
    L" Sin clave API. Redirecciones y cookies desactivadas; Windows verifica certificados TLS. "
    L"Leer fuente abre la página oficial en el navegador. El crédito NASA / ESA / CSA / STScI no "
    L"implica respaldo.",
    L"Nur HTTPS GET: " NASA_FEED_ENDPOINT L" und " NOAA_FEED_ENDPOINT L"."
    L" Kein API-Schlüssel. Weiterleitungen und Cookies sind deaktiviert; Windows prüft "
    L"TLS-Zertifikate. Quelle lesen öffnet die offizielle Seite im Browser. Bildnachweis NASA / "
    L"ESA / CSA / STScI bedeutet keine Unterstützung dieser App.",
    // 49 OfflineCollectionReady
    L"Offline collection ready",
    L"Colección sin conexión lista",
    L"Offline-Sammlung bereit",
    // 50 Ready
    L"Ready",
    L"Listo",
    L"Bereit",
    // 51 SavedLocally
    L"Saved locally",
    L"Guardado localmente",
    L"Lokal gespeichert",
    // 52 SaveFailed
    L"Could not save. Your changes remain in memory. Retry before quitting.",
    L"No se pudo guardar. Los cambios siguen en memoria. Reintenta antes de salir.",
    L"Speichern fehlgeschlagen. Änderungen bleiben im Speicher. Vor dem Beenden erneut versuchen.",
    // 53 TextNotSupported
    L"This text is not supported. Use the enabled interface languages.",
    L"Este texto no es compatible. Usa los idiomas habilitados.",
    L"Dieser Text wird nicht unterstützt. Bitte eine unterstützte Sprache verwenden.",
    // 54 BothSourcesChecked
    L"Both sources checked. New stories: ",
    L"Fuentes consultadas. Historias nuevas: ",
    L"Beide Quellen geprüft. Neue Berichte: ",
    // 55 OneSourceUnavailable
    L"One source unavailable; available stories were retained. New stories: ",
    L"Una fuente no disponible; se conservaron las historias. Nuevas: ",
    L"Eine Quelle nicht verfügbar; vorhandene Berichte bleiben erhalten. Neu: ",
    // 56 SourcesUnavailable
    L"Sources unavailable. Check your connection and retry; local stories are safe.",
    L"Fuentes no disponibles. Revisa la conexión y reintenta; las historias locales están a salvo.",
    L"Quellen nicht erreichbar. Verbindung prüfen und erneut versuchen; lokale Berichte bleiben "
    L"erhalten.",
    // 57 SourceNotOpened
    L"The source could not be opened.",
    L"No se pudo abrir la fuente.",
    L"Die Quelle konnte nicht geöffnet werden.",
    // 58 NoMatchingStories
    L"No matching stories. Try another search.",
    L"No hay resultados. Prueba otra búsqueda.",
    L"Keine passenden Berichte. Andere Suche versuchen.",
    // 59 ChooseStory
    L"Choose a story to start exploring.",
    L"Elige una historia para explorar.",
    L"Wähle einen Bericht zum Erkunden.",
    // 60 EmptyBoard
    L"A question needs a starting point. Save stories from Discover to build your board.",
    L"Toda pregunta necesita un comienzo. Guarda historias de Descubrir para crear el tablero.",
    L"Jede Frage braucht einen Anfang. Berichte unter Entdecken speichern, um die Pinnwand zu "
    L"füllen.",
    // 61 ChooseCardToConnect
    L"Choose another card to connect to the selected story.",
    L"Elige otra tarjeta para conectarla con la seleccionada.",
    L"Eine andere Karte mit dem ausgewählten Bericht verbinden.",
    // 62 ConnectionSaved
    L"Connection saved",
    L"Conexión guardada",
    L"Verbindung gespeichert",
    // 63 ConnectionsCleared
    L"Connections cleared. Undo is available.",
    L"Conexiones eliminadas. Puedes deshacer.",
    L"Verbindungen gelöst. Rückgängig ist verfügbar.",
    // 64 ExportSaved
    L"Export saved in the exports folder.",
    L"Exportación guardada en la carpeta exports.",
    L"Export im Ordner exports gespeichert.",
    // 65 ExportFailed
    L"Export failed. Check available disk space and folder permissions.",
    L"Error al exportar. Revisa el espacio y los permisos.",
    L"Export fehlgeschlagen. Speicherplatz und Ordnerrechte prüfen.",
    // 66 StillInTray
    L"Kestrune is still in the tray. Use its menu to reopen or quit.",
    L"Kestrune sigue en la bandeja. Usa su menú para abrir o salir.",
    L"Kestrune bleibt im Infobereich. Dort öffnen oder beenden.",
    // 67 NewStoriesBalloon
    L"New science stories are ready to explore.",
    L"Hay nuevas historias científicas.",
    L"Neue Wissenschaftsberichte sind verfügbar.",
    // 68 DecodingImage
    L"Decoding original image in memory...",
    L"Decodificando imagen original en memoria...",
    L"Originalbild wird im Speicher dekodiert...",
    // 69 ImageNotDecoded
    L"Image could not be decoded. Close other applications and retry.",
    L"No se pudo decodificar la imagen. Cierra otras aplicaciones y reintenta.",
    L"Bild konnte nicht dekodiert werden. Andere Apps schließen und erneut versuchen.",
    // 70 NoteSaved
    L"Note saved",
    L"Nota guardada",
    L"Notiz gespeichert",
    // 71 RecoveredBackup
    L"Recovered the previous backup. The damaged file was preserved.",
    L"Se recuperó la copia anterior. El archivo dañado se conservó.",
    L"Vorherige Sicherung wiederhergestellt. Beschädigte Datei wurde aufbewahrt.",
    // 72 RecoveryLibraryOpen
    L"Library could not be read. Original files were preserved; a recovery library is open.",
    L"No se pudo leer la biblioteca. Se conservaron los originales; se abrió una biblioteca de "
    L"recuperación.",
    L"Bibliothek nicht lesbar. Originaldateien bleiben erhalten; eine "
    L"Wiederherstellungsbibliothek ist geöffnet.",
    // 73 FieldNoteArchive
    L"FIELD NOTE / ARCHIVE",
    L"NOTA / ARCHIVO",
    L"FELDNOTIZ / ARCHIV",
    // 74 Published
    L"Published",
    L"Publicado",
    L"Veröffentlicht",
    // 75 Connections
    L"connections",
    L"conexiones",
    L"Verbindungen",
    // 76 Close
    L"Close",
    L"Cerrar",
    L"Schließen",
    // 77 Copy
    L"Copy",
    L"Copiar",
    L"Kopieren",
    // 78 Cut
    L"Cut",
    L"Cortar",
    L"Ausschneiden",
    // 79 Paste
    L"Paste",
    L"Pegar",
    L"Einfügen",
    // 80 SelectAll
    L"Select all",
    L"Seleccionar todo",
    L"Alles auswählen",
    // 81 UndoBoardEdit
    L"Undo last board edit",
    L"Deshacer cambio del tablero",
    L"Letzte Pinnwandänderung zurücknehmen",
    // 82 RemovedFromBoard
    L"Removed from board; the story and note remain in Discover.",
    L"Quitado del tablero; la historia y la nota siguen en Descubrir.",
    L"Von der Pinnwand gelöst; Bericht und Notiz bleiben unter Entdecken.",
    // 83 LastSuccessfulCheck
    L"Last successful check",
    L"Última consulta correcta",
    L"Letzte erfolgreiche Prüfung",
    // 84 NotYetChecked
    L"Not yet checked",
    L"Aún no consultado",
    L"Noch nicht geprüft",
    // 85 On
    L"On",
    L"Sí",
    L"Ein",
    // 86 Off
    L"Off",
    L"No",
    L"Aus",
    // 87 SourceContentInEnglish
    L"Source content in English",
    L"Contenido de fuentes en inglés",
    L"Quellinhalt auf Englisch",
    // 88 ImageCredit
    L"Image credit: NASA, ESA, CSA, STScI",
    L"Crédito: NASA, ESA, CSA, STScI",
    L"Bildnachweis: NASA, ESA, CSA, STScI",
    // 89 AtlasCaption
    L"Explore the gas ridges at full resolution, then compare the two plates. These are "
    L"wavelength-mapped science images, not natural-color photographs.",
    L"Explora las crestas de gas a resolución completa y compara las dos imágenes. Los colores "
    L"representan longitudes de onda; no son fotografías de color natural.",
    L"Gasstrukturen in voller Auflösung erkunden und die beiden Bilder vergleichen. Die Farben "
    L"stellen Wellenlängen dar; dies sind keine Fotos in natürlichen Farben.",
    // 90 ShortcutMap
    L"Ctrl+1/2/3/4: sections  ·  Ctrl+S: save note  ·  Ctrl+F: search  ·  F5: refresh  ·  Esc: "
    L"cancel link / tray",
    L"Ctrl+1/2/3/4: secciones  ·  Ctrl+S: guardar  ·  Ctrl+F: buscar  ·  F5: actualizar  ·  Esc: "
    L"cancelar / bandeja",
    L"Strg+1/2/3/4: Bereiche  ·  Strg+S: speichern  ·  Strg+F: suchen  ·  F5: aktualisieren  ·  "
    L"Esc: abbrechen / Infobereich",
    // 91 UnsavedChanges
    L"Unsaved changes",
    L"Cambios sin guardar",
    L"Ungespeicherte Änderungen",
    // 92 RetrySave
    L"Retry save",
    L"Reintentar guardado",
    L"Speichern wiederholen",
    // 93 RestoreBackup
    L"Restore previous backup",
    L"Restaurar copia anterior",
    L"Vorherige Sicherung laden",
    // 94 RestoreConfirm
    L"Restore the previous library? The current library will become the backup. Select Restore "
    L"again to confirm.",
    L"¿Restaurar la biblioteca anterior? La actual pasará a ser copia. Pulsa Restaurar otra vez "
    L"para confirmar.",
    L"Vorherige Bibliothek laden? Die aktuelle wird zur Sicherung. Zum Bestätigen erneut "
    L"Wiederherstellen wählen.",
    // 95 BackupRestored
    L"Previous backup restored",
    L"Copia anterior restaurada",
    L"Vorherige Sicherung geladen",
    // 96 NoReadableBackup
    L"No readable backup is available.",
    L"No hay una copia legible.",
    L"Keine lesbare Sicherung verfügbar.",
    // 97 CancelRestore
    L"Cancel restore",
    L"Cancelar restauración",
    L"Wiederherstellung abbrechen",
    // 98 RetryImage
    L"Retry image",
    L"Reintentar imagen",
    L"Bild erneut laden",
    // 99 LibraryRecovered
    L"Library recovered after an interrupted save.",
    L"Biblioteca recuperada tras un guardado interrumpido.",
    L"Bibliothek nach unterbrochenem Speichern wiederhergestellt.",
    // 100 HintAtlasStandIn
    L"Generated stand-in plates of the published images. Scroll to zoom; drag to explore. Available "
    L"offline.",
    L"Recreaciones generadas de las imágenes publicadas. Rueda: zoom. Arrastra para explorar. Sin "
    L"conexión.",
    L"Generierte Platzhalter der veröffentlichten Bilder. Mausrad: Zoom. Ziehen: Bewegen. Auch "
    L"offline.",
    // 101 ImageCreditStandIn0
    L"Generated stand-in of Cosmic Cliffs",
    L"Recreación generada de Acantilados cósmicos",
    L"Generierter Platzhalter für Kosmische Klippen",
    // 102 ImageCreditStandIn1
    L"Generated stand-in of the NIRCam + MIRI panorama",
    L"Recreación generada del panorama NIRCam + MIRI",
    L"Generierter Platzhalter für das Panorama NIRCam + MIRI",
    // 103 PinnedState
    L"Pinned",
    L"Fijada",
    L"Angeheftet",
};

#undef NASA_FEED_ENDPOINT
#undef NOAA_FEED_ENDPOINT

const wchar_t* uiTextIn(UiStringKey key, UiLanguage language)
{
    const auto row = static_cast<std::int32_t>(key);
    // Callers pass constants; a stray value still must not read outside the table.
    if (row < 0 || row >= UI_STRING_COUNT) return L"";
    return UI_STRINGS[UI_LANGUAGE_COUNT * row + languageColumn(language)];
}

const wchar_t* UiText(UiStringKey key)
{
    return uiTextIn(key, currentUiLanguage);
}

const wchar_t* licencesTitle()
{
    static const wchar_t* const titles[UI_LANGUAGE_COUNT] = {
        L"Licenses & credits", L"Licencias y créditos", L"Lizenzen und Bildnachweise"};
    return titles[languageColumn(currentUiLanguage)];
}

const wchar_t* uiLanguageName()
{
    static const wchar_t* const names[UI_LANGUAGE_COUNT] = {L"English", L"Español", L"Deutsch"};
    return names[languageColumn(currentUiLanguage)];
}
