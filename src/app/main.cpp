#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/commands.h"
#include "app/liaison.h"
#include "serial/trace.h"

namespace {

const char kUsage[] =
    "usage : liaison [--help | --ports]\n"
    "        liaison recevoir [DOSSIER] [--attente SECONDES]\n"
    "        liaison envoyer [--remplacer | --garder] [--nom NOM] FICHIER...\n";

const char kHelp[] =
    "liaison : relie le PC a une calculatrice Casio Graph par un cable serie.\n"
    "\n"
    "Usage : liaison            le menu (sans argument)\n"
    "        liaison recevoir [DOSSIER] [--attente SECONDES]\n"
    "                           recoit une transmission entiere (programmes, listes,\n"
    "                           matrices, images, sauvegarde...) dans une archive .cas\n"
    "                           nommee d'apres la date et l'heure (AAAAMMJJ-HHMMSS.cas),\n"
    "                           dans DOSSIER (le dossier courant sinon). --attente : au\n"
    "                           plus SECONDES d'attente de la calculatrice (par pas de 5 s).\n"
    "        liaison envoyer [--remplacer | --garder] [--nom NOM] FICHIER...\n"
    "                           envoie en une transmission chaque element des fichiers :\n"
    "                           archive .cas, ou programme (l'octet 3A puis ses octets,\n"
    "                           comme le menu 1 et liaison-texte ecrire les ecrivent),\n"
    "                           nomme d'apres le fichier ou par --nom. Un nom deja sur la\n"
    "                           calculatrice : --remplacer le remplace, --garder le garde ;\n"
    "                           sans l'un ni l'autre la question est posee (garde hors\n"
    "                           d'un terminal).\n"
    "        liaison --ports    les ports serie trouves, et celui que liaison ouvrira\n"
    "        liaison --help     ce texte\n"
    "\n"
    "Le menu :\n"
    "  1 : reception : la calculatrice envoie un programme ; liaison montre son en-tete\n"
    "      de 50 octets, vous choisissez la reponse, et le programme est enregistre\n"
    "      dans NOM_____.txt (liaison-texte lire NOM_____.txt le montre en texte).\n"
    "  2 : emission : la premiere ligne d'un fichier part vers la calculatrice sous\n"
    "      le nom de programme que vous donnez (8 caracteres au plus).\n"
    "  3 : quitter.\n"
    "\n"
    "Ligne : 9600 bit/s, 8 bits de donnees, sans parite, 2 bits de stop, sans controle\n"
    "de flux.\n"
    "\n"
    "Environnement :\n"
    "  LIAISON_PORT=PORT     le port a ouvrir. Windows : COM1 a COM256 (COM1 sinon).\n"
    "                        Linux, macOS : un chemin (/dev/ttyUSB0) ; sinon le seul\n"
    "                        adaptateur USB serie branche, sinon /dev/ttyS0.\n"
    "  LIAISON_TRACE=FICHIER chaque octet de la ligne est ajoute a FICHIER, une ligne\n"
    "                        par octet : SECONDES PC>calc|calc>PC HEX.\n"
    "\n"
    "Statut de sortie : 0 en fin normale (recevoir, envoyer : chaque element est\n"
    "passe) ; 1 si un element a ete refuse, garde, coupe, ou si l'attente a expire ;\n"
    "255 si le port ne s'ouvre pas, si LIAISON_PORT ne nomme aucun port, ou si la\n"
    "liaison avec la calculatrice est perdue ; 2 pour une ligne de commande fausse.\n";

int ShowPorts() {
  std::printf("Ports serie trouves :\n");
  std::vector<std::string> ports = ListSerialPorts();
  for (const std::string& port : ports) std::printf("  %s\n", port.c_str());
  if (ports.empty()) std::printf("  (aucun)\n");
  PortChoice choice = ChoosePort();
  if (!choice.error.empty()) {
    std::printf("Liaison n'ouvrira aucun port : %s.\n", choice.error.c_str());
    return -1;
  }
  std::printf("Liaison ouvrira COM%d = %s : %s.\n", choice.number, choice.device.c_str(),
              choice.why.c_str());
  return 0;
}

// LIAISON_TRACE names a file that every byte of the line is appended to.
std::unique_ptr<LineTrace> OpenTrace(const PortChoice& port) {
  const char* path = std::getenv("LIAISON_TRACE");
  if (!path || !*path) return nullptr;
  FILE* file = std::fopen(path, "a");
  if (!file) {
    std::fprintf(stderr, "liaison: impossible d'ouvrir la trace %s : elle ne sera pas ecrite\n",
                 path);
    return nullptr;
  }
  std::string name = "COM" + std::to_string(port.number) + " (" + port.device + ")";
  auto trace = std::make_unique<LineTrace>(NativeSerialBackend(), file, name);
  UseSerialBackend(*trace);
  return trace;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--ports") == 0) return ShowPorts();
  using Command = int (*)(Console&, int, const std::vector<std::string>&);
  Command command = nullptr;
  if (argc > 1 && std::strcmp(argv[1], "recevoir") == 0) command = Recevoir;
  if (argc > 1 && std::strcmp(argv[1], "envoyer") == 0) command = Envoyer;
  if (argc > 1 && !command) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  PortChoice port = ChoosePort();
  if (!port.error.empty()) {
    std::fprintf(stderr, "liaison: %s\n", port.error.c_str());
    return -1;
  }
  static WorkState state;
  OpenConsole(state.con);
  std::unique_ptr<LineTrace> trace = OpenTrace(port);
  if (command)
    return command(state.con, port.number, std::vector<std::string>(argv + 2, argv + argc));
  return RunLiaison(state, port.number);
}
