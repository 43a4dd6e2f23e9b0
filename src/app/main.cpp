#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/commands.h"
#include "app/disk_commands.h"
#include "app/liaison.h"
#include "app/seven_commands.h"
#include "app/words.h"
#include "serial/trace.h"
#include "disk/disk.h"
#include "serial/usb.h"

namespace {

const char kUsage[] =
    "usage : liaison [--help | --version | --ports]\n"
    "        liaison recevoir [DOSSIER] [--attente SECONDES]\n"
    "        liaison envoyer [--remplacer | --garder] [--nom NOM] [--stockage | --memoire]\n"
    "                        [--protocole 7|cas50] [--vitesse N] [--prudent]\n"
    "                        [--sans-ejecter] FICHIER...\n"
    "        liaison ecran [DOSSIER] [--echelle N] [--nombre N] [--attente SECONDES]\n"
    "                      [--ascii] [--fenetre]\n"
    "        liaison info | optimiser\n"
    "        liaison liste [--memoire | --stockage]\n"
    "        liaison recuperer [--stockage] [--vitesse N] NOM...\n"
    "        liaison sauvegarder [DOSSIER] [--stockage] [--vitesse N]\n"
    "        liaison supprimer [--stockage] [--sans-ejecter] NOM...\n";

const char kVersion[] =
    "liaison " LIAISON_VERSION
    "\n"
    "Copyright (C) 2026 les auteurs de Liaison.\n"
    "Licence GPLv3+ : GNU GPL version 3 ou ulterieure <https://gnu.org/licenses/gpl.html>.\n"
    "Logiciel libre : vous pouvez le modifier et le redistribuer. Aucune garantie.\n";

const char kHelp[] =
    "liaison : relie le PC a une calculatrice Casio Graph par un cable serie.\n"
    "\n"
    "Usage : liaison [COMMANDE] [OPTION]...\n"
    "\n"
    "Sans commande, liaison montre son menu :\n"
    "  1 : reception : la calculatrice envoie un programme ; liaison montre son en-tete\n"
    "      de 50 octets, vous choisissez la reponse, et le programme est enregistre\n"
    "      dans NOM_____.txt (liaison-texte lire NOM_____.txt le montre en texte).\n"
    "  2 : emission : la premiere ligne d'un fichier part vers la calculatrice sous\n"
    "      le nom de programme que vous donnez (8 caracteres au plus).\n"
    "  3 : quitter.\n"
    "\n"
    "Commandes :\n"
    "  recevoir [DOSSIER] [--attente SECONDES]\n"
    "         recoit une transmission entiere (programmes, listes, matrices,\n"
    "         variables, images, fonctions, sauvegarde, captures d'ecran...) dans\n"
    "         une archive .cas de DOSSIER (le dossier courant sinon). Une Graph\n"
    "         35+ ou suivante (LINK, Transmettre) : ses fichiers dans une archive\n"
    "         .g1m de DOSSIER.\n"
    "  envoyer [--remplacer | --garder] [--nom NOM] [--stockage]\n"
    "          [--protocole 7|cas50] [--vitesse N] [--prudent] FICHIER...\n"
    "         envoie en une transmission chaque element des fichiers : archive\n"
    "         .cas, catalogue .cat (ses programmes), ou programme (l'octet 3A puis\n"
    "         ses octets, comme le menu 1 et liaison-texte ecrire les ecrivent),\n"
    "         nomme d'apres le fichier (sans dossier, extension ni _ final, 8\n"
    "         caracteres au plus), ou archive .g1m d'une Graph 35+ et suivantes\n"
    "         (ses programmes, traduits pour la Graph 35/65 ; une instruction\n"
    "         qu'elle n'a pas est nommee avec sa ligne et sa colonne). Un fichier\n"
    "         d'un autre genre, ou qui ne peut pas passer : rien n'est envoye.\n"
    "         Le protocole se trouve en essayant l'un puis l'autre. A une Graph 35+\n"
    "         ou suivante (Protocole 7.00) : les fichiers d'un .g1m tels quels en\n"
    "         memoire principale, une application .g1a en memoire de stockage,\n"
    "         les programmes des autres fichiers traduits pour elle.\n"
    "  ecran [DOSSIER] [--echelle N] [--nombre N] [--attente SECONDES] [--ascii]\n"
    "        [--fenetre]\n"
    "         attend les captures d'ecran de la calculatrice (touche de capture) :\n"
    "         chacune est enregistree en image PNG dans DOSSIER et dessinee dans le\n"
    "         terminal. Ctrl-C l'arrete : les images deja enregistrees sont\n"
    "         entieres, et leur nombre est dit avant la fin. Par le cable USB\n"
    "         (Graph 35+ et suivantes en mode Projecteur ; Graph 90+E en\n"
    "         ScreenR(XP), Projecteur ou ScreenRecv) : l'ecran en direct,\n"
    "         redessine a chaque changement ; Entree enregistre l'image montree,\n"
    "         q puis Entree arrete.\n"
    "\n"
    "Commandes d'une Graph 35+ et suivantes (Protocole 7.00 ; sur la calculatrice :\n"
    "LINK, cable 3 broches (CABL), capture Memoire (CAPT), puis Recevoir (RECV)) :\n"
    "  info\n"
    "         le modele, la version du systeme, l'identifiant de produit, le nom\n"
    "         de l'utilisateur, la taille des memoires.\n"
    "  liste [--memoire | --stockage]\n"
    "         les fichiers de la memoire principale (groupe, nom, genre, taille)\n"
    "         et du stockage fls0 (dossier, nom, taille), et la place libre.\n"
    "  recuperer [--stockage] [--vitesse N] NOM...\n"
    "         chaque fichier NOM de la memoire principale dans NOM.g1m ; avec\n"
    "         --stockage, chaque fichier du stockage (DOSSIER/NOM) sous son nom.\n"
    "  sauvegarder [DOSSIER] [--stockage] [--vitesse N]\n"
    "         toute la memoire principale dans AAAAMMJJ-HHMMSS.g1m ; avec\n"
    "         --stockage, aussi chaque fichier du stockage dans le dossier\n"
    "         AAAAMMJJ-HHMMSS, ses dossiers gardes en dossiers (envoyer --stockage\n"
    "         de ce dossier les y remet).\n"
    "  supprimer [--stockage] NOM...\n"
    "         efface chaque fichier NOM de la calculatrice.\n"
    "  optimiser\n"
    "         optimise (defragmente) le stockage fls0.\n"
    "\n"
    "Sur le disque d'une Graph 90+E ou 35+E II (cable USB, mode USB Flash ; le\n"
    "disque trouve seul, ou nomme par LIAISON_DISQUE) : son stockage a la racine,\n"
    "sa memoire principale dans @MainMem (un dossier par groupe).\n"
    "  info, liste [--memoire | --stockage]\n"
    "         le modele, la taille et la place libre ; les fichiers de @MainMem\n"
    "         et du stockage (dossiers, tailles, titre des .g3a et .g3p).\n"
    "  envoyer [--remplacer | --garder] [--memoire] [--sans-ejecter] FICHIER...\n"
    "         chaque fichier tel quel dans le stockage (un dossier : ses fichiers\n"
    "         et ses dossiers) ; avec --memoire, les programmes des fichiers dans\n"
    "         @MainMem/PROGRAM, une archive par programme (.g3m pour une Graph\n"
    "         90+E, .g1m pour une Graph 35+E II).\n"
    "  recuperer [--stockage] NOM..., supprimer [--stockage] NOM...\n"
    "         un fichier de @MainMem par son nom (JEU, JEU.g3m, PROGRAM/JEU), ou\n"
    "         du stockage par son chemin, copie ici octet pour octet, ou efface.\n"
    "  sauvegarder [DOSSIER]\n"
    "         tout le disque dans le dossier AAAAMMJJ-HHMMSS, octet pour octet.\n"
    "  Chaque fichier est ecrit sous un nom provisoire puis renomme. Apres une\n"
    "  ecriture, le disque est ejecte (la calculatrice prend alors les\n"
    "  fichiers) : \"Vous pouvez debrancher la calculatrice.\"\n"
    "\n"
    "  Liaison n'envoie jamais les commandes qui effacent toute une memoire ou\n"
    "  reprogramment la calculatrice. Ctrl-C pendant l'une de ces commandes\n"
    "  l'arrete au paquet suivant : la calculatrice revient a 9600 bit/s et la\n"
    "  liaison se termine, ce qui est dit recu ou envoye est entier (statut 130) ;\n"
    "  un second Ctrl-C arrete tout de suite.\n"
    "\n"
    "Options :\n"
    "  --attente SECONDES\n"
    "         (recevoir, ecran) attendre la calculatrice SECONDES au plus (ecran :\n"
    "         depuis la derniere capture), par pas de 5 s ; sans elle, l'attente\n"
    "         est sans limite.\n"
    "  --remplacer\n"
    "         (envoyer) un nom deja sur la calculatrice : le remplacer.\n"
    "  --garder\n"
    "         (envoyer) un nom deja sur la calculatrice : garder le sien et\n"
    "         passer au suivant. Sans l'une ni l'autre, la question est posee\n"
    "         sur un terminal, et la calculatrice garde le sien ailleurs.\n"
    "  --echelle N\n"
    "         (ecran) chaque pixel de l'ecran en N x N pixels de l'image (4 sinon).\n"
    "  --nombre N\n"
    "         (ecran) s'arreter apres N captures.\n"
    "  --ascii\n"
    "         (ecran) dessiner avec # et des espaces, un caractere par pixel, pour\n"
    "         une console sans les blocs. Le dessin tient dans la largeur du\n"
    "         terminal.\n"
    "  --fenetre\n"
    "         (ecran) l'ecran dans une fenetre, pour le videoprojecteur : a la plus\n"
    "         grande echelle entiere, F ou F11 plein ecran, S ou Entree enregistre\n"
    "         l'image montree, Q ou Echap arrete. Sans affichage graphique : le\n"
    "         dessin dans le terminal (en couleurs si COLORTERM=truecolor).\n"
    "  --nom NOM\n"
    "         (envoyer, un seul fichier de programme) le nom du programme.\n"
    "  --stockage\n"
    "         (envoyer) les fichiers vont en memoire de stockage, tels quels ;\n"
    "         (liste, recuperer, sauvegarder, supprimer) le stockage.\n"
    "  --memoire\n"
    "         (liste) la memoire principale seule ; (envoyer, disque de\n"
    "         calculatrice) les programmes dans @MainMem/PROGRAM.\n"
    "  --sans-ejecter\n"
    "         (envoyer, supprimer, disque de calculatrice) garder le disque monte.\n"
    "  --protocole 7|cas50\n"
    "         (envoyer) sans essayer : 7 pour une Graph 35+ et suivantes, cas50\n"
    "         pour une Graph 35/65.\n"
    "  --vitesse N\n"
    "         (envoyer, recuperer, sauvegarder, Protocole 7.00) la vitesse de la\n"
    "         ligne pendant l'echange : 300, 600, 1200, 2400, 4800, 9600, 19200,\n"
    "         38400, 57600 ou 115200 bit/s (115200 sinon ; 9600 la garde). Sans\n"
    "         effet sur le cable USB.\n"
    "  --prudent\n"
    "         (envoyer, cable USB) chaque paquet de donnees attend sa reponse avant\n"
    "         le suivant. Sans elle, sur USB, les paquets d'un fichier partent un\n"
    "         en avance sur leurs reponses : environ dix fois plus vite.\n"
    "  --ports\n"
    "         les ports serie, les calculatrices USB et les disques de\n"
    "         calculatrice trouves, et le port que liaison ouvrira.\n"
    "  --help\n"
    "         ce texte.\n"
    "  --version\n"
    "         la version de liaison.\n"
    "\n"
    "Fichiers ecrits :\n"
    "  NOM_____.txt\n"
    "         (menu 1) le programme recu, ses 8 caracteres de nom (_ pour les\n"
    "         caracteres vides), dans le dossier courant.\n"
    "  AAAAMMJJ-HHMMSS.cas\n"
    "         (recevoir) l'archive de la transmission, nommee d'apres la date et\n"
    "         l'heure, jamais a la place d'un fichier (-2, -3... sinon) : chaque\n"
    "         element y entre entier, ou pas du tout.\n"
    "  ecran-001.png, ecran-002.png...\n"
    "         (ecran, et recevoir pour une capture dans une transmission) chaque\n"
    "         capture d'ecran, jamais a la place d'un fichier.\n"
    "  NOM.cat\n"
    "         (recevoir) chaque programme recu, en catalogue, a cote de l'archive\n"
    "         (NOM-2.cat... plutot que remplacer un fichier).\n"
    "  AAAAMMJJ-HHMMSS.g1m, NOM.g1m\n"
    "         (recevoir, sauvegarder, recuperer) les fichiers d'une Graph 35+ ou\n"
    "         suivante, jamais a la place d'un fichier.\n"
    "\n"
    "Ligne :\n"
    "  9600 bit/s, 8 bits de donnees, sans parite, 2 bits de stop, sans controle de\n"
    "  flux. En Protocole 7.00, la vitesse monte (115200 bit/s, parite paire, 1 bit\n"
    "  de stop) pendant l'echange et revient a 9600 avant la fin.\n"
    "\n"
    "Environnement :\n"
    "  LIAISON_PORT=PORT\n"
    "         le port a ouvrir. usb : la calculatrice branchee par son cable USB\n"
    "         (Graph 35+ et suivantes, Protocole 7.00 ; choisie aussi quand\n"
    "         LIAISON_PORT n'est pas defini et qu'elle est la seule). Windows :\n"
    "         COM1 a COM256 (COM1 sinon). Linux, macOS : un chemin\n"
    "         (/dev/ttyUSB0) ; sinon le seul adaptateur USB serie branche, sinon\n"
    "         /dev/ttyS0.\n"
    "  LIAISON_DISQUE=DOSSIER\n"
    "         le disque d'une Graph 90+E ou 35+E II (mode USB Flash) monte dans\n"
    "         DOSSIER : info, liste, envoyer, recuperer, supprimer et\n"
    "         sauvegarder y travaillent. Sans lui, le seul disque de calculatrice\n"
    "         trouve (Linux : UDisks2, ou les disques montes ; Windows : les\n"
    "         volumes) quand LIAISON_PORT n'est pas defini et qu'aucune\n"
    "         calculatrice n'est sur son interface USB de Protocole 7.00.\n"
    "  LIAISON_TRACE=FICHIER\n"
    "         chaque octet de la ligne est ajoute a FICHIER, une ligne par\n"
    "         octet : SECONDES PC>calc|calc>PC HEX.\n"
    "\n"
    "Statut de sortie :\n"
    "  0      fin normale ; recevoir, envoyer : chaque element est passe.\n"
    "  1      recevoir, envoyer, ecran : un element refuse, garde, coupe, un\n"
    "         fichier qui ne peut etre envoye, ou l'attente expiree (ecran : sans\n"
    "         aucune capture) ; les commandes du Protocole 7.00 : un fichier\n"
    "         refuse, absent ou garde, une calculatrice qui ne repond pas.\n"
    "  2      une ligne de commande fausse.\n"
    "  255    le port ne s'ouvre pas, LIAISON_PORT ne nomme aucun port, ou la\n"
    "         liaison avec la calculatrice est perdue ; le disque de la\n"
    "         calculatrice perdu ou introuvable.\n"
    "  128+N  arrete par le signal N (130 : Ctrl-C, 143 : SIGTERM).\n";

// The calculators that show themselves as a disk (USB Flash mode).
void ShowDisks() {
  std::printf("Disques de calculatrice (Graph 90+E, Graph 35+E II en USB Flash) :\n");
  std::vector<CalculatorDisk> disks = CalculatorDisks();
  const char* named = std::getenv("LIAISON_DISQUE");
  CalculatorDisk byHand;
  std::string why;
  if (named && *named) {
    if (NamedDisk(named, &byHand, &why))
      std::printf("  %s (nomme par LIAISON_DISQUE)\n", Shown(named).c_str());
    else
      std::printf("  %s\n", Shown(why).c_str());
  }
  for (const CalculatorDisk& d : disks) {
    std::printf("  %s : %s (%s)",
                d.mountPoint.empty() ? "(non monte)" : Shown(d.mountPoint).c_str(),
                d.model.empty() ? "modele inconnu" : d.model.c_str(), Shown(d.device).c_str());
    if (d.size > 0)
      std::printf(", %s dont %s libres", Megabytes(d.size).c_str(), Megabytes(d.free).c_str());
    std::printf("\n");
  }
  if (disks.empty() && !(named && *named)) std::printf("  (aucun)\n");
}

int ShowPorts() {
  std::printf("Ports serie trouves :\n");
  std::vector<std::string> ports = ListSerialPorts();
  for (const std::string& port : ports) std::printf("  %s\n", port.c_str());
  if (ports.empty()) std::printf("  (aucun)\n");
  std::printf("Calculatrices Casio en USB (Graph 35+ et suivantes) :\n");
  std::vector<UsbCalculator> usb = NativeUsbBus().Calculators();
  for (const UsbCalculator& c : usb) {
    std::string kind = UsbKind(c);
    std::printf("  bus %d, adresse %d%s%s%s\n", c.bus, c.address,
                c.manufacturer.empty() ? "" : " : ", Shown(c.manufacturer).c_str(),
                kind.empty() ? "" : (" (" + kind + ")").c_str());
  }
  if (usb.empty()) std::printf("  (aucune)\n");
  ShowDisks();
  PortChoice choice = ChoosePort();
  if (!choice.error.empty()) {
    std::printf("Liaison n'ouvrira aucun port : %s.\n", choice.error.c_str());
    return -1;
  }
  std::string notPort = choice.usb ? "" : NotASerialPort(choice.device);
  if (!notPort.empty()) {
    std::printf("Attention, LIAISON_PORT nomme %s : Liaison ne pourra pas l'ouvrir.\n",
                notPort.c_str());
    return -1;
  }
  if (choice.usb)
    std::printf("Liaison ouvrira la calculatrice USB : %s.\n", choice.why.c_str());
  else
    std::printf("Liaison ouvrira COM%d = %s : %s.\n", choice.number, choice.device.c_str(),
                choice.why.c_str());
  return 0;
}

// LIAISON_TRACE names a file that every byte of the line is appended to.
std::unique_ptr<LineTrace> OpenTrace(const PortChoice& port) {
  const char* path = std::getenv("LIAISON_TRACE");
  if (!path || !*path) return nullptr;
  FILE* file = OpenTraceFile(path);
  if (!file) {
    std::fprintf(stderr, "liaison: impossible d'ouvrir la trace %s : elle ne sera pas ecrite\n",
                 path);
    return nullptr;
  }
  std::string name = "COM" + std::to_string(port.number) + " (" + port.device + ")";
  auto trace = std::make_unique<LineTrace>(CurrentSerialBackend(), file, name, path);
  UseSerialBackend(*trace);
  return trace;
}

// A command asked to stop has ended cleanly (a Protocol 7.00 session with
// the calculator back at the start speed, a disk between two files): the
// status is the signal's.
int Finished(Console& con, int status) {
  if (int signal = StopAsked()) {
    Say(con, "Arrete a la demande : ce qui est dit enregistre ou envoye est entier.\n");
    return 128 + signal;
  }
  return status;
}

// A command on the calculator's disk; said on stderr when found rather than
// named.
int OnDisk(const char* command, CalculatorDisk& disk, const std::vector<std::string>& args) {
  const char* named = std::getenv("LIAISON_DISQUE");
  if (!named || !*named)
    std::fprintf(
        stderr, "liaison: disque de calculatrice : %s (%s)\n",
        disk.mountPoint.empty() ? Shown(disk.device).c_str() : Shown(disk.mountPoint).c_str(),
        disk.model.empty() ? "modele inconnu" : disk.model.c_str());
  static WorkState state;
  OpenConsole(state.con);
  return Finished(state.con, DiskCommand(state.con, command, disk, args));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(kVersion, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--ports") == 0) return ShowPorts();
  using Command = int (*)(Console&, int, const std::vector<std::string>&);
  struct Named {
    const char* name;
    Command command;
  };
  static const Named commands[] = {{"recevoir", Recevoir},
                                   {"envoyer", Envoyer},
                                   {"ecran", Ecran},
                                   {"info", Info},
                                   {"liste", Liste},
                                   {"recuperer", Recuperer},
                                   {"sauvegarder", Sauvegarder},
                                   {"supprimer", Supprimer},
                                   {"optimiser", Optimiser}};
  Command command = nullptr;
  for (const Named& c : commands)
    if (argc > 1 && std::strcmp(argv[1], c.name) == 0) command = c.command;
  if (argc > 1 && !command) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  PortChoice port = ChoosePort();
  if (command && IsDiskCommand(argv[1])) {
    const char* namedPort = std::getenv("LIAISON_PORT");
    bool portNamed = namedPort && *namedPort;
    bool use = false;
    CalculatorDisk disk;
    std::string why;
    // A calculator on its bulk interface goes by Protocol 7.00; one in mass
    // storage is the disk itself.
    bool bulk = false;
    if (!portNamed)
      for (const UsbCalculator& c : NativeUsbBus().Calculators()) bulk = bulk || !c.storage;
    if (!ChooseDisk(portNamed, bulk, &use, &disk, &why)) {
      std::fprintf(stderr, "liaison: %s\n", Shown(why).c_str());
      return -1;
    }
    if (use) return OnDisk(argv[1], disk, std::vector<std::string>(argv + 2, argv + argc));
  }
  if (!port.error.empty()) {
    std::fprintf(stderr, "liaison: %s\n", port.error.c_str());
    return -1;
  }
  static WorkState state;
  OpenConsole(state.con);
  static UsbLine usb(NativeUsbBus());
  if (port.usb) {
    UseSerialBackend(usb);
    // Said, since nothing named it: a serial adapter may be plugged in too.
    const char* named = std::getenv("LIAISON_PORT");
    if (!named || !*named)
      std::fprintf(stderr, "liaison: calculatrice USB : %s\n", port.why.c_str());
    if (command == Ecran)
      for (const UsbCalculator& c : NativeUsbBus().Calculators())
        if (c.storage)
          std::fprintf(stderr,
                       "liaison: le disque de la calculatrice (%s) quitte le systeme pendant que "
                       "Liaison lit son ecran, et revient a la fin.\n",
                       UsbKind(c).c_str());
  }
  std::unique_ptr<LineTrace> trace = OpenTrace(port);
  if (command)
    return Finished(state.con, command(state.con, port.number,
                                       std::vector<std::string>(argv + 2, argv + argc)));
  return RunLiaison(state, port.number);
}
